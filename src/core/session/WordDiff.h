#pragma once

#include <QList>
#include <QString>

// The difference between a selection and the reply that would replace it,
// word by word, for comparing them before writing. Pure functions, safe on
// any thread: long texts are compared off the main thread.
namespace WordDiff {

struct Segment
{
    enum class Kind { Equal, Deleted, Inserted };

    Kind kind;
    QString text;

    bool operator==(const Segment &) const = default;
};

// Texts are cut into words and the spaces and punctuation between them
// (Unicode word boundaries), and compared on those pieces. The equal and
// deleted segments joined in order give `before` exactly; the equal and
// inserted ones give `after`. Neighbouring segments never share a kind, and
// where text was replaced the deletion comes first. A lone space between
// two changes counts as changed too, so that a rewritten phrase reads as one
// replacement rather than as alternating words.
QList<Segment> compare(const QString &before, const QString &after);

// The changes said in words within the text, for a screen reader:
// "I [deleted: teh, inserted: the] cat".
QString spokenSummary(const QList<Segment> &segments);

} // namespace WordDiff

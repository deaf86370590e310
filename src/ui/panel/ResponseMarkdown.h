#pragma once

#include "ui/panel/HeadingSegment.h"

#include <QList>
#include <QString>
#include <optional>

class QTextDocument;

// The reply's small Markdown: inline styling (emphasis, code, links shown as
// text that never opens on its own), white space and line breaks kept as
// typed, fenced code as code blocks, heading lines enlarged by level. Raw
// HTML is shown as text and images are never loaded.
namespace ResponseMarkdown {

// Point-size factors of the heading levels 1 to 6 over the body font.
inline constexpr double headingScale[6] = {1.56, 1.4, 1.28, 1.18, 1.1, 1.05};

// "# Title" → level 1, "Title"; nothing for anything that is no heading.
std::optional<HeadingSegment> parseHeadingLine(const QString &line);

// The text with each heading line outside fenced code replaced by its
// heading text, and the headings in order.
struct StrippedHeadings
{
    QString text;
    QList<HeadingSegment> headings;
    // The line of the rendered text that holds each heading, and the lines
    // the rendering has when it keeps every line (fence lines are dropped).
    QList<int> headingLines;
    int visibleLineCount = 0;
};
StrippedHeadings removingHeadingMarkers(const QString &text);

// The line feed ending the last blank line outside fenced code that has more
// text after it; -1 when there is none. What comes before such a line
// renders the same whatever follows, unless an emphasis, code span or link
// opened before it is still open.
qsizetype lastSettledLineEnd(QStringView text);
qsizetype firstSettledLineEnd(QStringView text);

// How many lines come before the first fence: the paragraph a text starts with.
int linesBeforeFirstFence(QStringView text);

// Whether the text holds a character that can make it more than plain text.
bool containsMarkup(QStringView text);

// Renders `text` as Markdown whatever characters it holds, so a piece of a
// longer reply renders as it does inside the whole. Returns false when text
// that is not blank rendered to nothing. `headingsOnTheirLines` tells
// whether every heading was found on its own line (else its styling was
// placed by searching the whole text).
bool renderAsMarkdown(const QString &text, QTextDocument *document,
                      bool *headingsOnTheirLines = nullptr);

} // namespace ResponseMarkdown

// Renders `text` into `document`, replacing its contents. The document's
// default font is the body font; headings get the semibold body font scaled
// by level.
void renderMarkdown(const QString &text, QTextDocument *document);

using ResponseMarkdown::parseHeadingLine;

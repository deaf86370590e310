#include "core/session/WordDiff.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringView>
#include <QTextBoundaryFinder>
#include <utility>
#include <vector>

namespace WordDiff {
namespace {

using Kind = Segment::Kind;
using Tokens = QList<QStringView>;

// The search for common words costs time in proportion to the length of the
// texts times the number of changes. Past this many words and separators on
// a side (some 10,000 words) it is not attempted: what lies between the
// common start and end is reported as one deletion and one insertion.
constexpr qsizetype maximumSearchedTokens = 20000;

// Words and what lies between them, by Unicode word boundaries; joined they
// give `text` back. Views into `text`.
Tokens tokenize(const QString &text)
{
    Tokens tokens;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary()) {
        tokens.append(QStringView(text).sliced(start, end - start));
        start = end;
    }
    return tokens;
}

struct Piece
{
    Kind kind;
    QStringView text;
};

struct Range
{
    qsizetype from;
    qsizetype to;

    qsizetype size() const { return to - from; }
};

// Myers' difference algorithm in linear space: the middle snake of the
// shortest edit script splits the texts into two smaller problems. Tokens
// are compared as numbers, one for each distinct token.
class Differ
{
public:
    Differ(const Tokens &before, const Tokens &after);

    QList<Piece> run();

private:
    void diff(Range a, Range b);
    bool bisect(Range a, Range b);
    void record(Kind kind, const Tokens &tokens, Range range);

    const Tokens &m_before;
    const Tokens &m_after;
    std::vector<int> m_a;
    std::vector<int> m_b;
    QList<Piece> m_pieces;
};

Differ::Differ(const Tokens &before, const Tokens &after)
    : m_before(before)
    , m_after(after)
{
    QHash<QStringView, int> numbers;
    const auto numbered = [&numbers](const Tokens &tokens) {
        std::vector<int> result;
        result.reserve(size_t(tokens.size()));
        for (QStringView token : tokens) {
            auto found = numbers.find(token);
            if (found == numbers.end())
                found = numbers.insert(token, int(numbers.size()));
            result.push_back(*found);
        }
        return result;
    };
    m_a = numbered(before);
    m_b = numbered(after);
}

QList<Piece> Differ::run()
{
    diff({0, m_before.size()}, {0, m_after.size()});
    return std::move(m_pieces);
}

void Differ::diff(Range a, Range b)
{
    const qsizetype prefixStart = a.from;
    while (a.from < a.to && b.from < b.to && m_a[size_t(a.from)] == m_b[size_t(b.from)]) {
        ++a.from;
        ++b.from;
    }
    record(Kind::Equal, m_before, {prefixStart, a.from});
    const qsizetype suffixEnd = a.to;
    while (a.from < a.to && b.from < b.to && m_a[size_t(a.to - 1)] == m_b[size_t(b.to - 1)]) {
        --a.to;
        --b.to;
    }

    const bool searched = a.size() > 0 && b.size() > 0 && a.size() <= maximumSearchedTokens &&
                          b.size() <= maximumSearchedTokens && bisect(a, b);
    if (!searched) {
        record(Kind::Deleted, m_before, a);
        record(Kind::Inserted, m_after, b);
    }
    record(Kind::Equal, m_before, {a.to, suffixEnd});
}

// Follows the furthest-reaching paths from both corners, one more edit at a
// time, until a forward and a backward path overlap; their meeting point
// splits the problem. Both ranges are non-empty and differ at both ends.
bool Differ::bisect(Range a, Range b)
{
    const qsizetype n = a.size();
    const qsizetype m = b.size();
    const auto before = [&](qsizetype x) { return m_a[size_t(a.from + x)]; };
    const auto after = [&](qsizetype y) { return m_b[size_t(b.from + y)]; };
    const auto beforeFromEnd = [&](qsizetype x) { return m_a[size_t(a.to - 1 - x)]; };
    const auto afterFromEnd = [&](qsizetype y) { return m_b[size_t(b.to - 1 - y)]; };

    const qsizetype maxEdits = (n + m + 1) / 2;
    const qsizetype offset = maxEdits;
    const qsizetype length = 2 * maxEdits + 2;
    // Furthest x reached on each diagonal k = x - y, from the start and (on
    // reversed texts) from the end; -1 where none was reached yet.
    std::vector<qsizetype> forward(size_t(length), -1);
    std::vector<qsizetype> backward(size_t(length), -1);
    forward[size_t(offset + 1)] = 0;
    backward[size_t(offset + 1)] = 0;
    const qsizetype delta = n - m;
    // With an odd delta the forward paths meet the backward ones first.
    const bool forwardMeets = delta % 2 != 0;
    // Diagonals that ran off the edit graph are skipped from then on.
    qsizetype forwardStart = 0, forwardEnd = 0, backwardStart = 0, backwardEnd = 0;

    const auto furthest = [](const std::vector<qsizetype> &v, qsizetype i, qsizetype k,
                             qsizetype d) {
        return k == -d || (k != d && v[size_t(i - 1)] < v[size_t(i + 1)]) ? v[size_t(i + 1)]
                                                                          : v[size_t(i - 1)] + 1;
    };
    const auto split = [&](qsizetype x, qsizetype y) {
        diff({a.from, a.from + x}, {b.from, b.from + y});
        diff({a.from + x, a.to}, {b.from + y, b.to});
        return true;
    };

    for (qsizetype d = 0; d < maxEdits; ++d) {
        for (qsizetype k = -d + forwardStart; k <= d - forwardEnd; k += 2) {
            const qsizetype i = offset + k;
            qsizetype x = furthest(forward, i, k, d);
            qsizetype y = x - k;
            while (x < n && y < m && before(x) == after(y)) {
                ++x;
                ++y;
            }
            forward[size_t(i)] = x;
            if (x > n) {
                forwardEnd += 2;
            } else if (y > m) {
                forwardStart += 2;
            } else if (forwardMeets) {
                const qsizetype j = offset + delta - k;
                if (j >= 0 && j < length && backward[size_t(j)] != -1 &&
                    x >= n - backward[size_t(j)])
                    return split(x, y);
            }
        }
        for (qsizetype k = -d + backwardStart; k <= d - backwardEnd; k += 2) {
            const qsizetype i = offset + k;
            qsizetype x = furthest(backward, i, k, d);
            qsizetype y = x - k;
            while (x < n && y < m && beforeFromEnd(x) == afterFromEnd(y)) {
                ++x;
                ++y;
            }
            backward[size_t(i)] = x;
            if (x > n) {
                backwardEnd += 2;
            } else if (y > m) {
                backwardStart += 2;
            } else if (!forwardMeets) {
                const qsizetype j = offset + delta - k;
                if (j >= 0 && j < length && forward[size_t(j)] != -1 && forward[size_t(j)] >= n - x)
                    return split(forward[size_t(j)], forward[size_t(j)] - (j - offset));
            }
        }
    }
    return false;
}

void Differ::record(Kind kind, const Tokens &tokens, Range range)
{
    for (qsizetype i = range.from; i < range.to; ++i)
        m_pieces.append({kind, tokens.at(i)});
}

// Spaces on one line; a line break between changes keeps them apart.
bool isSpacing(const QString &text)
{
    return text.trimmed().isEmpty() && !text.contains(u'\n');
}

// Pieces of one kind joined; each run of changes as its deletion, then its
// insertion. Spacing between a replacement and a further change joins the
// run, on both sides.
QList<Segment> segmentsFrom(const QList<Piece> &pieces)
{
    QList<Segment> runs;
    for (const Piece &piece : pieces) {
        if (runs.isEmpty() || runs.last().kind != piece.kind)
            runs.append({piece.kind, QString()});
        runs.last().text += piece.text;
    }
    QList<Segment> segments;
    QString deleted;
    QString inserted;
    const auto endChange = [&] {
        if (!deleted.isEmpty())
            segments.append({Kind::Deleted, std::exchange(deleted, {})});
        if (!inserted.isEmpty())
            segments.append({Kind::Inserted, std::exchange(inserted, {})});
    };
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const Segment &run = runs.at(i);
        const bool joinsReplacement = run.kind == Kind::Equal && !deleted.isEmpty() &&
                                      !inserted.isEmpty() && i + 1 < runs.size() &&
                                      isSpacing(run.text);
        if (run.kind == Kind::Deleted || joinsReplacement)
            deleted += run.text;
        if (run.kind == Kind::Inserted || joinsReplacement)
            inserted += run.text;
        if (run.kind == Kind::Equal && !joinsReplacement) {
            endChange();
            segments.append(run);
        }
    }
    endChange();
    return segments;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("WordDiff", text);
}

// A change as said aloud: its text on one line, or what kind of space it is.
QString spokenText(const QString &text)
{
    const QString simplified = text.simplified();
    if (!simplified.isEmpty())
        return simplified;
    return text.contains(u'\n') ? tr("line break") : tr("space");
}

QString spokenChange(const Segment &segment, const Segment *insertion)
{
    if (insertion)
        return tr("[deleted: %1, inserted: %2]")
            .arg(spokenText(segment.text), spokenText(insertion->text));
    return (segment.kind == Kind::Deleted ? tr("[deleted: %1]") : tr("[inserted: %1]"))
        .arg(spokenText(segment.text));
}

} // namespace

QList<Segment> compare(const QString &before, const QString &after)
{
    const Tokens beforeTokens = tokenize(before);
    const Tokens afterTokens = tokenize(after);
    return segmentsFrom(Differ(beforeTokens, afterTokens).run());
}

QString spokenSummary(const QList<Segment> &segments)
{
    QString spoken;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const Segment &segment = segments.at(i);
        if (segment.kind == Kind::Equal) {
            spoken += segment.text;
            continue;
        }
        const Segment *insertion = nullptr;
        if (segment.kind == Kind::Deleted && i + 1 < segments.size() &&
            segments.at(i + 1).kind == Kind::Inserted)
            insertion = &segments.at(++i);
        // Set apart from the words around it.
        if (!spoken.isEmpty() && !spoken.back().isSpace())
            spoken += u' ';
        spoken += spokenChange(segment, insertion);
        const QString following = i + 1 < segments.size() ? segments.at(i + 1).text : QString();
        if (!following.isEmpty() && !following.front().isSpace())
            spoken += u' ';
    }
    return spoken;
}

} // namespace WordDiff

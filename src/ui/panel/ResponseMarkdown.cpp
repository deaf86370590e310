#include "ui/panel/ResponseMarkdown.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

namespace {

constexpr QChar noBreakSpace(0x00A0);

// Inline syntax only: no raw HTML, no indented code, no tables; the reply's
// links and images are shown, never fetched or opened.
const QTextDocument::MarkdownFeatures markdownFeatures =
    QTextDocument::MarkdownFeatures(QTextDocument::MarkdownNoHTML);

bool isFenceLine(QStringView content, QChar *fenceChar, int *fenceLength)
{
    if (content.size() < 3 || (content[0] != u'`' && content[0] != u'~'))
        return false;
    int length = 0;
    while (length < content.size() && content[length] == content[0])
        ++length;
    if (length < 3)
        return false;
    // An info string of a backtick fence must not hold backticks.
    if (content[0] == u'`' && content.mid(length).contains(u'`'))
        return false;
    *fenceChar = content[0];
    *fenceLength = length;
    return true;
}

bool closesFence(QStringView content, QChar fenceChar, int fenceLength)
{
    int length = 0;
    while (length < content.size() && content[length] == fenceChar)
        ++length;
    return length >= fenceLength && content.mid(length).trimmed().isEmpty();
}

qsizetype indentOf(QStringView line)
{
    qsizetype indent = 0;
    while (indent < line.size() && (line[indent] == u' ' || line[indent] == u'\t'))
        ++indent;
    return indent;
}

// Follows fenced code blocks line by line.
class FenceTracker
{
public:
    enum class Line { text, opening, code, closing };

    Line next(QStringView line)
    {
        const QStringView content = line.mid(indentOf(line));
        if (m_inFence) {
            if (closesFence(content, m_fenceChar, m_fenceLength)) {
                m_inFence = false;
                return Line::closing;
            }
            return Line::code;
        }
        if (isFenceLine(content, &m_fenceChar, &m_fenceLength)) {
            m_inFence = true;
            return Line::opening;
        }
        return Line::text;
    }

private:
    bool m_inFence = false;
    QChar m_fenceChar;
    int m_fenceLength = 0;
};

// What a block parser would take for the start of a list, quote, rule,
// heading, table or link definition, escaped so the line stays inline text.
QString escapedLineStart(const QString &content)
{
    static const QRegularExpression rule(QStringLiteral("^([-*_])(\\s*\\1){2,}\\s*$"));
    static const QRegularExpression orderedMarker(QStringLiteral("^(\\d{1,9})([.)])"));
    static const QRegularExpression definition(QStringLiteral("^\\[[^\\]]*\\]:"));
    const QChar first = content.at(0);
    const bool spaceAfter = content.size() == 1 || content.at(1) == u' ' || content.at(1) == u'\t';
    if (QStringLiteral(">#=+-|").contains(first) ||
        ((first == u'*' || first == u'_') && spaceAfter) || rule.match(content).hasMatch() ||
        definition.match(content).hasMatch())
        return u'\\' + content;
    const auto ordered = orderedMarker.match(content);
    if (ordered.hasMatch()) {
        const qsizetype markerEnd = ordered.capturedEnd(2);
        return content.left(markerEnd - 1) + u'\\' + content.mid(markerEnd - 1);
    }
    return content;
}

// Turns text meant as inline Markdown with its white space kept into the
// block Markdown the parser reads: each line ends in a hard break, blank and
// indented lines keep their space as no-break spaces, line starts that
// would open a block are escaped. Fenced code passes unchanged.
QString inlineMarkdownSource(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8 + 16);
    FenceTracker fences;
    const auto lines = QStringView(text).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype indent = indentOf(line);
        const QStringView content = line.mid(indent);
        switch (fences.next(line)) {
        case FenceTracker::Line::code:
            out += line;
            break;
        case FenceTracker::Line::opening:
        case FenceTracker::Line::closing:
            // Unindented, so the parser sees the fence where the tracker does.
            out += content;
            break;
        case FenceTracker::Line::text:
            for (qsizetype j = 0; j < indent; ++j)
                out += line[j] == u'\t' ? QString(4, noBreakSpace) : QString(noBreakSpace);
            if (content.isEmpty()) {
                if (indent == 0)
                    out += noBreakSpace;
            } else {
                out += escapedLineStart(content.toString());
            }
            out += QLatin1String("  ");
            break;
        }
        if (i + 1 < lines.size())
            out += u'\n';
    }
    return out;
}

// An image of the reply becomes its link text's place: nothing is loaded.
void dropImages(QTextDocument *document)
{
    QTextCursor cursor(document);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            const QString alt = fragment.charFormat().stringProperty(QTextFormat::ImageAltText);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            QTextCharFormat plain = fragment.charFormat();
            plain.clearProperty(QTextFormat::ObjectType);
            plain.clearProperty(QTextFormat::ImageName);
            cursor.insertText(alt, plain);
            // The block's fragments changed; start it over.
            it = block.begin();
            if (it.atEnd())
                break;
        }
    }
}

QString inlinePlainText(const QString &rawText)
{
    QTextDocument scratch;
    scratch.setMarkdown(inlineMarkdownSource(rawText), markdownFeatures);
    QString plain = scratch.toPlainText();
    if (plain.isEmpty())
        plain = rawText;
    plain.replace(noBreakSpace, u' ');
    return plain.trimmed();
}

// Where each line of the plain text starts.
QList<qsizetype> lineStarts(const QString &plain)
{
    QList<qsizetype> starts{0};
    for (qsizetype i = 0; i < plain.size(); ++i) {
        if (plain.at(i) == u'\n')
            starts.append(i + 1);
    }
    return starts;
}

// Returns whether every heading was found on its own line.
bool styleHeadings(QTextDocument *document, const ResponseMarkdown::StrippedHeadings &stripped)
{
    bool onTheirLines = true;
    QString plain = document->toPlainText();
    plain.replace(noBreakSpace, u' ');
    const QList<qsizetype> starts = lineStarts(plain);
    const QFont body = document->defaultFont();
    const double bodyPixels = body.pixelSize() > 0 ? body.pixelSize() : body.pointSizeF();
    qsizetype searchFrom = 0;
    for (qsizetype k = 0; k < stripped.headings.size(); ++k) {
        const HeadingSegment &heading = stripped.headings[k];
        const QString visible = inlinePlainText(heading.rawText);
        if (visible.isEmpty())
            continue;
        // On the heading's own line when the rendering kept the lines (it
        // does outside code blocks); else the first match from where the
        // previous heading ended, else anywhere.
        qsizetype found = -1;
        const int line = stripped.headingLines.value(k, -1);
        if (line >= 0 && line < starts.size()) {
            const qsizetype lineEnd = line + 1 < starts.size() ? starts[line + 1] : plain.size();
            const qsizetype at = plain.indexOf(visible, starts[line]);
            if (at >= 0 && at + visible.size() <= lineEnd)
                found = at;
        }
        if (found < 0) {
            onTheirLines = false;
            found = plain.indexOf(visible, searchFrom);
        }
        if (found >= 0)
            searchFrom = found + visible.size();
        else
            found = plain.indexOf(visible);
        if (found < 0)
            continue;
        QTextCursor cursor(document);
        cursor.setPosition(int(found));
        cursor.setPosition(int(found + visible.size()), QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setFontWeight(QFont::DemiBold);
        const double scale = ResponseMarkdown::headingScale[std::clamp(heading.level, 1, 6) - 1];
        if (body.pixelSize() > 0)
            format.setProperty(QTextFormat::FontPixelSize, qRound(bodyPixels * scale));
        else
            format.setFontPointSize(bodyPixels * scale);
        cursor.mergeCharFormat(format);
    }
    return onTheirLines;
}

} // namespace

namespace ResponseMarkdown {

std::optional<HeadingSegment> parseHeadingLine(const QString &line)
{
    qsizetype level = 0;
    while (level < line.size() && line.at(level) == u'#') {
        if (++level > 6)
            return std::nullopt;
    }
    if (level == 0 || level >= line.size() || (line.at(level) != u' ' && line.at(level) != u'\t'))
        return std::nullopt;
    qsizetype start = level;
    while (start < line.size() && (line.at(start) == u' ' || line.at(start) == u'\t'))
        ++start;
    return HeadingSegment{int(level), line.mid(start)};
}

StrippedHeadings removingHeadingMarkers(const QString &text)
{
    StrippedHeadings result;
    QStringList lines = text.split(u'\n');
    FenceTracker fences;
    int visibleLine = 0;
    for (QString &line : lines) {
        const auto kind = fences.next(line);
        // A "#" line in fenced code is code (a shell comment), not a heading.
        if (kind == FenceTracker::Line::text) {
            if (const auto heading = parseHeadingLine(line)) {
                line = heading->rawText;
                result.headings.append(*heading);
                result.headingLines.append(visibleLine);
            }
        }
        // The rendering drops the fence lines themselves.
        if (kind == FenceTracker::Line::text || kind == FenceTracker::Line::code)
            ++visibleLine;
    }
    result.text = lines.join(u'\n');
    result.visibleLineCount = visibleLine;
    return result;
}

namespace {

// The line feeds ending blank lines outside fenced code, each with more
// text after it, in order; stops at the first when `firstOnly`. Fences are
// followed as the parser sees them: after heading markers are removed.
qsizetype settledLineEnd(QStringView text, bool firstOnly)
{
    qsizetype settled = -1;
    FenceTracker rawFences;
    FenceTracker renderedFences;
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype end = text.indexOf(u'\n', start);
        if (end < 0 || end + 1 >= text.size())
            break;
        QString line = text.mid(start, end - start).toString();
        if (rawFences.next(line) == FenceTracker::Line::text) {
            if (const auto heading = parseHeadingLine(line))
                line = heading->rawText;
        }
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (renderedFences.next(line) == FenceTracker::Line::text && line.trimmed().isEmpty()) {
            settled = end;
            if (firstOnly)
                break;
        }
        start = end + 1;
    }
    return settled;
}

} // namespace

int linesBeforeFirstFence(QStringView text)
{
    FenceTracker rawFences;
    FenceTracker renderedFences;
    int count = 0;
    for (QStringView rawLine : text.split(u'\n')) {
        QString line = rawLine.toString();
        if (rawFences.next(line) == FenceTracker::Line::text) {
            if (const auto heading = parseHeadingLine(line))
                line = heading->rawText;
        }
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (renderedFences.next(line) != FenceTracker::Line::text)
            break;
        ++count;
    }
    return count;
}

qsizetype lastSettledLineEnd(QStringView text)
{
    return settledLineEnd(text, false);
}

qsizetype firstSettledLineEnd(QStringView text)
{
    return settledLineEnd(text, true);
}

bool containsMarkup(QStringView text)
{
    for (const QChar c : text) {
        if (c == u'*' || c == u'_' || c == u'`' || c == u'#')
            return true;
    }
    return false;
}

bool renderAsMarkdown(const QString &text, QTextDocument *document, bool *headingsOnTheirLines)
{
    if (headingsOnTheirLines)
        *headingsOnTheirLines = true;
    document->clear();
    if (text.isEmpty())
        return true;
    const auto stripped = ResponseMarkdown::removingHeadingMarkers(text);
    document->setMarkdown(inlineMarkdownSource(stripped.text), markdownFeatures);
    if (document->isEmpty())
        return stripped.text.trimmed().isEmpty();
    dropImages(document);
    if (!stripped.headings.isEmpty() && !styleHeadings(document, stripped) && headingsOnTheirLines)
        *headingsOnTheirLines = false;
    return true;
}

} // namespace ResponseMarkdown

void renderMarkdown(const QString &text, QTextDocument *document)
{
    if (ResponseMarkdown::containsMarkup(text) &&
        ResponseMarkdown::renderAsMarkdown(text, document))
        return;
    // Text without markup, or with markup that renders to nothing at all
    // (an empty code block), is shown as it is.
    document->clear();
    if (!text.isEmpty())
        document->setPlainText(text);
}

#include "ui/panel/ResponseMarkdown.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

namespace {

constexpr QChar noBreakSpace(0x00A0);
constexpr QChar objectReplacement(0xFFFC);

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
    QChar fenceChar;
    int fenceLength = 0;
    bool inFence = false;
    const auto lines = QStringView(text).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        qsizetype indent = 0;
        while (indent < line.size() && (line[indent] == u' ' || line[indent] == u'\t'))
            ++indent;
        const QStringView content = line.mid(indent);
        if (inFence) {
            out += line;
            if (closesFence(content, fenceChar, fenceLength))
                inFence = false;
        } else if (isFenceLine(content, &fenceChar, &fenceLength)) {
            inFence = true;
            out += content;
        } else {
            for (qsizetype j = 0; j < indent; ++j)
                out += line[j] == u'\t' ? QString(4, noBreakSpace) : QString(noBreakSpace);
            if (content.isEmpty()) {
                if (indent == 0)
                    out += noBreakSpace;
            } else {
                out += escapedLineStart(content.toString());
            }
            out += QLatin1String("  ");
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

void styleHeadings(QTextDocument *document, const QList<HeadingSegment> &headings)
{
    QString plain = document->toPlainText();
    plain.replace(noBreakSpace, u' ');
    const QFont body = document->defaultFont();
    const double bodyPixels = body.pixelSize() > 0 ? body.pixelSize() : body.pointSizeF();
    qsizetype searchFrom = 0;
    for (const HeadingSegment &heading : headings) {
        const QString visible = inlinePlainText(heading.rawText);
        if (visible.isEmpty())
            continue;
        qsizetype found = plain.indexOf(visible, searchFrom);
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
    for (QString &line : lines) {
        if (const auto heading = parseHeadingLine(line)) {
            line = heading->rawText;
            result.headings.append(*heading);
        }
    }
    result.text = lines.join(u'\n');
    return result;
}

} // namespace ResponseMarkdown

void renderMarkdown(const QString &text, QTextDocument *document)
{
    document->clear();
    if (text.isEmpty())
        return;
    static const QRegularExpression markup(QStringLiteral("[*_`#]"));
    if (!text.contains(markup)) {
        document->setPlainText(text);
        return;
    }
    const auto stripped = ResponseMarkdown::removingHeadingMarkers(text);
    document->setMarkdown(inlineMarkdownSource(stripped.text), markdownFeatures);
    if (document->isEmpty() && !stripped.text.trimmed().isEmpty()) {
        document->setPlainText(text);
        return;
    }
    dropImages(document);
    if (!stripped.headings.isEmpty())
        styleHeadings(document, stripped.headings);
}

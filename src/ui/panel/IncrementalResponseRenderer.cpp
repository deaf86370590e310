#include "ui/panel/IncrementalResponseRenderer.h"

#include "ui/panel/ResponseMarkdown.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>

// A piece of the reply rendered after the line that comes before it in the
// reply, so that it renders as it does inside the whole; the piece's own
// blocks start at `firstBlock`.
struct IncrementalResponseRenderer::RenderedPiece
{
    QTextDocument document;
    int firstBlock = 0;
    // Whether its headings were styled on their own lines, and so without
    // looking at the rest of the reply.
    bool headingsOnTheirLines = true;

    QTextBlock first() const
    {
        return firstBlock == 0 && document.isEmpty() ? QTextBlock()
                                                     : document.findBlockByNumber(firstBlock);
    }
    int blockCount() const
    {
        return firstBlock == 0 && document.isEmpty() ? 0 : document.blockCount() - firstBlock;
    }
};

namespace {

using RenderedPiece = IncrementalResponseRenderer::RenderedPiece;

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber();
}

// Whether a "*" or "_" left as text at `at` could still open an emphasis
// that text coming later closes. A run followed by white space cannot, nor
// can an "_" inside a word.
bool mayOpenEmphasis(const QString &text, qsizetype at)
{
    const QChar mark = text.at(at);
    qsizetype end = at;
    while (end < text.size() && text.at(end) == mark)
        ++end;
    if (end == text.size() || text.at(end).isSpace())
        return false;
    if (mark == u'_' && at > 0 && isWordCharacter(text.at(at - 1)) && isWordCharacter(text.at(end)))
        return false;
    return true;
}

// Whether the rendering left nothing open: every code span, emphasis and
// link bracket of its source was closed inside it. Code is skipped: its
// characters are shown as they are and open nothing.
// Whether the source writes a "*" or "_" that shows as text: escaped, or as
// a character reference.
bool showsMarksAsText(const QString &source)
{
    for (const char *written : {"\\*", "\\_", "&#", "&ast;", "&lowbar;", "&midast;"}) {
        if (source.contains(QLatin1String(written)))
            return true;
    }
    return false;
}

// `escapedMarks`: the source escaped a "*" or "_", which then shows as text
// beside the marks that are real, so every mark left as text counts.
bool leavesNothingOpen(const RenderedPiece &rendering, bool escapedMarks)
{
    for (QTextBlock block = rendering.first(); block.isValid(); block = block.next()) {
        const QString blockText = block.text();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().fontFixedPitch())
                continue;
            const qsizetype from = fragment.position() - block.position();
            const qsizetype to = from + fragment.length();
            for (qsizetype i = from; i < to; ++i) {
                const QChar c = blockText.at(i);
                if (c == u'`' || c == u'[')
                    return false;
                if ((c == u'*' || c == u'_') && (escapedMarks || mayOpenEmphasis(blockText, i)))
                    return false;
            }
        }
    }
    return true;
}

// The blocks of `part` are the first blocks of `whole`, formats and all.
bool startsWithBlocksOf(const RenderedPiece &whole, const RenderedPiece &part)
{
    if (part.blockCount() > whole.blockCount())
        return false;
    QTextBlock wholeBlock = whole.first();
    for (QTextBlock block = part.first(); block.isValid(); block = block.next()) {
        if (block.text() != wholeBlock.text() || block.blockFormat() != wholeBlock.blockFormat())
            return false;
        auto wholeIt = wholeBlock.begin();
        for (auto it = block.begin(); !it.atEnd(); ++it, ++wholeIt) {
            if (wholeIt.atEnd() || it.fragment().text() != wholeIt.fragment().text() ||
                it.fragment().charFormat() != wholeIt.fragment().charFormat())
                return false;
        }
        if (!wholeIt.atEnd())
            return false;
        wholeBlock = wholeBlock.next();
    }
    return true;
}

bool hasRightToLeft(const QString &text)
{
    for (const QChar c : text) {
        switch (c.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
            return true;
        default:
            break;
        }
    }
    return false;
}

void prepareScratch(QTextDocument *scratch, const QTextDocument &like)
{
    scratch->setUndoRedoEnabled(false);
    scratch->setDefaultFont(like.defaultFont());
    scratch->setDocumentMargin(like.documentMargin());
}

// The parser gives a paragraph's blocks the format its first text calls for
// (one opening with an entity gets none), so the first `lines` blocks of a
// piece that continues a paragraph take that paragraph's format.
void continueParagraph(const QTextBlockFormat &format, int lines, const RenderedPiece &rendering)
{
    QTextBlock block = rendering.first();
    for (int i = 0; i < lines && block.isValid(); ++i, block = block.next()) {
        if (block.blockFormat().hasProperty(QTextFormat::BlockCodeFence))
            return;
        QTextCursor(block).setBlockFormat(format);
    }
}

// Replaces every block from the `keep`th on with the blocks of `rendering`.
void replaceBlocksAfter(int keep, const RenderedPiece &rendering, QTextDocument *document)
{
    QTextCursor cursor(document);
    if (keep == 0) {
        document->clear();
        cursor = QTextCursor(document);
    } else {
        const QTextBlock kept = document->findBlockByNumber(keep - 1);
        cursor.setPosition(kept.position() + kept.length() - 1);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    if (rendering.blockCount() == 0)
        return;
    const QTextBlock first = rendering.first();
    if (keep == 0) {
        cursor.setBlockFormat(first.blockFormat());
        cursor.setBlockCharFormat(first.charFormat());
    } else {
        cursor.insertBlock(first.blockFormat(), first.charFormat());
    }
    QTextCursor piece(first);
    piece.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.insertFragment(piece.selection());
}

} // namespace

bool IncrementalResponseRenderer::render(const QString &text, QTextDocument *document)
{
    if (m_started && text == m_source)
        return true;
    if (!m_started || !text.startsWith(m_source) ||
        (!m_markdown && ResponseMarkdown::containsMarkup(QStringView(text).mid(m_source.size())))) {
        startOver(text, document);
        return false;
    }
    QStringView added = QStringView(text).mid(m_source.size());
    // A line break split between "\r" and "\n" is one break, as in plain text set whole.
    if (m_source.endsWith(u'\r') && added.startsWith(u'\n'))
        added = added.mid(1);
    m_source = text;
    if (m_markdown)
        renderMarkdownTail(text, document);
    else
        appendPlainText(added, document);
    return true;
}

void IncrementalResponseRenderer::startOver(const QString &text, QTextDocument *document)
{
    m_source = text;
    m_started = true;
    m_markdown = ResponseMarkdown::containsMarkup(text);
    if (m_markdown) {
        startOverMarkdown(text, document);
        return;
    }
    m_finalSourceLength = 0;
    m_finalBlockCount = 0;
    document->clear();
    if (!text.isEmpty())
        document->setPlainText(text);
}

void IncrementalResponseRenderer::startOverMarkdown(const QString &text, QTextDocument *document)
{
    m_finalSourceLength = 0;
    m_finalBlockCount = 0;
    m_context.clear();
    renderMarkdownTail(text, document);
}

void IncrementalResponseRenderer::appendPlainText(QStringView added, QTextDocument *document)
{
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(added.toString());
    cutLongLastBlock(document);
}

void IncrementalResponseRenderer::renderPiece(const QString &piece, const QTextDocument &like,
                                              RenderedPiece *rendering) const
{
    prepareScratch(&rendering->document, like);
    if (m_finalBlockCount == 0) {
        // Text rendering to nothing is shown as it is only when it is all there is.
        if (!ResponseMarkdown::renderAsMarkdown(piece, &rendering->document,
                                                &rendering->headingsOnTheirLines))
            rendering->document.setPlainText(piece);
        return;
    }
    // After the blank line that ends the final part, which renders as one
    // block of its own.
    ResponseMarkdown::renderAsMarkdown(m_context + u'\n' + piece, &rendering->document,
                                       &rendering->headingsOnTheirLines);
    rendering->firstBlock = 1;
}

void IncrementalResponseRenderer::renderMarkdownTail(const QString &text, QTextDocument *document)
{
    const QString tail = text.mid(m_finalSourceLength);
    RenderedPiece rendering;
    renderPiece(tail, *document, &rendering);
    if (!rendering.headingsOnTheirLines && m_finalBlockCount > 0) {
        // A heading placed by searching the whole reply: render it whole.
        startOverMarkdown(text, document);
        return;
    }
    if (m_finalBlockCount > 0)
        continueParagraph(document->findBlockByNumber(m_finalBlockCount - 1).blockFormat(),
                          ResponseMarkdown::linesBeforeFirstFence(tail), rendering);
    replaceBlocksAfter(m_finalBlockCount, rendering, document);
    settleFinalPart(tail, rendering);
}

void IncrementalResponseRenderer::settleFinalPart(const QString &tail,
                                                  const RenderedPiece &tailRendering)
{
    // The latest settled line first; if something is still open before it,
    // the earliest, so that what came before an open mark settles paragraph
    // by paragraph.
    const qsizetype latest = ResponseMarkdown::lastSettledLineEnd(tail);
    if (latest < 0 || settleAt(tail, latest, tailRendering))
        return;
    const qsizetype earliest = ResponseMarkdown::firstSettledLineEnd(tail);
    if (earliest < latest)
        settleAt(tail, earliest, tailRendering);
}

bool IncrementalResponseRenderer::settleAt(const QString &tail, qsizetype cut,
                                           const RenderedPiece &tailRendering)
{
    // An empty first line renders as a line only when something follows it.
    if (cut == 0 && m_finalBlockCount == 0)
        return false;
    const QString partText = tail.left(cut);
    RenderedPiece part;
    renderPiece(partText, tailRendering.document, &part);
    // A part whose rendering joined lines (a code span across a line break)
    // would move where the whole reply looks for later headings.
    if (!part.headingsOnTheirLines || !leavesNothingOpen(part, showsMarksAsText(partText)) ||
        part.blockCount() != ResponseMarkdown::removingHeadingMarkers(partText).visibleLineCount ||
        !startsWithBlocksOf(tailRendering, part))
        return false;
    // The text after the blank line goes on with its paragraph, and is
    // rendered after it.
    const qsizetype lineStart = cut > 0 ? tail.lastIndexOf(u'\n', cut - 1) + 1 : 0;
    m_context = tail.mid(lineStart, cut - lineStart);
    m_finalSourceLength += cut + 1;
    m_finalBlockCount += part.blockCount();
    return true;
}

void IncrementalResponseRenderer::cutLongLastBlock(QTextDocument *document)
{
    const QTextBlock last = document->lastBlock();
    if (last.length() <= longParagraphLength || document->textWidth() <= 0)
        return;
    // A cut would give the rest a direction of its own.
    if (hasRightToLeft(last.text()))
        return;
    document->documentLayout()->blockBoundingRect(last);
    const QTextLayout *layout = last.layout();
    if (!layout || layout->lineCount() < 3)
        return;
    // Lines before the last two keep their breaks whatever is appended.
    const int at = layout->lineAt(layout->lineCount() - 2).textStart();
    if (at <= 0)
        return;
    QTextBlockFormat format = last.blockFormat();
    format.setProperty(continuesParagraphProperty, true);
    QTextCursor cursor(document);
    cursor.setPosition(last.position() + at);
    cursor.insertBlock(format);
}

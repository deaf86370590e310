#include "ui/panel/IncrementalResponseRenderer.h"

#include "ui/panel/ResponseMarkdown.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>

namespace {

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
bool leavesNothingOpen(const QTextDocument &rendering)
{
    for (QTextBlock block = rendering.begin(); block.isValid(); block = block.next()) {
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
                if ((c == u'*' || c == u'_') && mayOpenEmphasis(blockText, i))
                    return false;
            }
        }
    }
    return true;
}

bool startsWithBlocksOf(const QTextDocument &whole, const QTextDocument &part)
{
    if (part.blockCount() > whole.blockCount())
        return false;
    QTextBlock wholeBlock = whole.begin();
    for (QTextBlock block = part.begin(); block.isValid(); block = block.next()) {
        if (block.text() != wholeBlock.text())
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

// Replaces every block from the `keep`th on with the blocks of `rendering`.
void replaceBlocksAfter(int keep, const QTextDocument &rendering, QTextDocument *document)
{
    if (keep == 0) {
        document->clear();
        if (rendering.isEmpty())
            return;
        QTextCursor cursor(document);
        cursor.setBlockFormat(rendering.begin().blockFormat());
        cursor.setBlockCharFormat(rendering.begin().charFormat());
        cursor.insertFragment(QTextDocumentFragment(&rendering));
        return;
    }
    const QTextBlock kept = document->findBlockByNumber(keep - 1);
    QTextCursor cursor(document);
    cursor.setPosition(kept.position() + kept.length() - 1);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (rendering.isEmpty())
        return;
    cursor.insertBlock(rendering.begin().blockFormat(), rendering.begin().charFormat());
    cursor.insertFragment(QTextDocumentFragment(&rendering));
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
    const QStringView added = QStringView(text).mid(m_source.size());
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
    m_finalSourceLength = 0;
    m_finalBlockCount = 0;
    if (m_markdown) {
        renderMarkdownTail(text, document);
        return;
    }
    document->clear();
    if (!text.isEmpty())
        document->setPlainText(text);
}

void IncrementalResponseRenderer::appendPlainText(QStringView added, QTextDocument *document)
{
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(added.toString());
    cutLongLastBlock(document);
}

void IncrementalResponseRenderer::renderMarkdownTail(const QString &text, QTextDocument *document)
{
    const QString tail = text.mid(m_finalSourceLength);
    QTextDocument rendering;
    prepareScratch(&rendering, *document);
    // Text rendering to nothing is shown as it is only when it is all there is.
    if (!ResponseMarkdown::renderAsMarkdown(tail, &rendering) && m_finalBlockCount == 0)
        rendering.setPlainText(tail);
    replaceBlocksAfter(m_finalBlockCount, rendering, document);
    settleFinalPart(tail, rendering);
}

void IncrementalResponseRenderer::settleFinalPart(const QString &tail,
                                                  const QTextDocument &tailRendering)
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
                                           const QTextDocument &tailRendering)
{
    QTextDocument part;
    prepareScratch(&part, tailRendering);
    if (!ResponseMarkdown::renderAsMarkdown(tail.left(cut), &part) || !leavesNothingOpen(part) ||
        !startsWithBlocksOf(tailRendering, part))
        return false;
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

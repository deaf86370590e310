#pragma once

#include <QString>

class QTextBlock;
class QTextDocument;

// Keeps a document showing the rendering of a reply that grows at its end,
// doing work in proportion to what changed rather than to the whole reply:
//
// - Markdown is rendered again only from the last point whose rendering can
//   no longer change: a blank line or the end of a code block, before which
//   no emphasis, code span or link is left open.
// - Text without markup is appended, and a paragraph that grows long is cut
//   into blocks at its own line breaks, so laying out a new word never lays
//   out the whole paragraph again. The cut draws the same lines; the blocks
//   after a cut carry `continuesParagraphProperty` so copying joins them.
//
// Apart from those cuts, the document holds what renderMarkdown() makes of
// the whole text.
class IncrementalResponseRenderer
{
public:
    // Set on a block that continues the paragraph of the block before it.
    static constexpr int continuesParagraphProperty = 0x100000 + 1;
    // A growing paragraph is cut once its last block is longer than this.
    static constexpr int longParagraphLength = 2000;

    // Brings `document` to the rendering of `text`. Returns false when it
    // had to start over (the text does not continue the one shown).
    bool render(const QString &text, QTextDocument *document);

    struct RenderedPiece;

    // How much of the source is final, for tests.
    qsizetype finalSourceLength() const { return m_finalSourceLength; }

private:
    void startOver(const QString &text, QTextDocument *document);
    void startOverMarkdown(const QString &text, QTextDocument *document);
    void appendPlainText(QStringView added, QTextDocument *document);
    void renderPiece(const QString &piece, const QTextDocument &like,
                     RenderedPiece *rendering) const;
    void renderMarkdownTail(const QString &text, QTextDocument *document);
    void settleFinalPart(const QString &tail, const RenderedPiece &tailRendering);
    bool settleAt(const QString &tail, qsizetype cut, const RenderedPiece &tailRendering);
    static void cutLongLastBlock(QTextDocument *document);

    QString m_source;
    bool m_markdown = false;
    bool m_started = false;
    // The source prefix whose rendering is final, and its blocks.
    qsizetype m_finalSourceLength = 0;
    int m_finalBlockCount = 0;
    // The blank line that ends the final part: the text after it goes on
    // with its paragraph and is rendered after it.
    QString m_context;
};

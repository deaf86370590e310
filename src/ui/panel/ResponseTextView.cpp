#include "ui/panel/ResponseTextView.h"

#include "ui/panel/BarStyle.h"
#include "ui/panel/IncrementalResponseRenderer.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <algorithm>

namespace {

QString selectedParagraphText(const QTextCursor &selection)
{
    const QTextDocument *document = selection.document();
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    QString text;
    for (QTextBlock block = document->findBlock(start); block.isValid() && block.position() <= end;
         block = block.next()) {
        if (block.position() > start) {
            const bool continues = block.blockFormat().boolProperty(
                IncrementalResponseRenderer::continuesParagraphProperty);
            if (!continues)
                text += u'\n';
        }
        const int from = std::max(start, block.position()) - block.position();
        const int to = std::min(end, block.position() + block.length() - 1) - block.position();
        text += block.text().mid(from, std::max(0, to - from));
    }
    text.replace(QChar::LineSeparator, u'\n');
    text.replace(QChar::Nbsp, u' ');
    return text;
}

} // namespace

ResponseTextView::ResponseTextView(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setUndoRedoEnabled(false);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setFont(BarStyle::bodyFont());
    document()->setDefaultFont(BarStyle::bodyFont());
    document()->setDocumentMargin(0);
    document()->setUndoRedoEnabled(false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Link, QColor(110, 170, 255));
    setPalette(palette);
    setAccessibleName(tr("Response"));
}

QVariant ResponseTextView::loadResource(int, const QUrl &)
{
    return {};
}

QMimeData *ResponseTextView::createMimeDataFromSelection() const
{
    const QTextCursor selection = textCursor();
    auto *data = new QMimeData;
    data->setHtml(selection.selection().toHtml());
    data->setText(selectedParagraphText(selection));
    return data;
}

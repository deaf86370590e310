#include "ui/panel/ResponseTextView.h"

#include "ui/panel/BarStyle.h"

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

#include "ui/panel/CommandInputField.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextFrame>
#include <QTimer>
#include <cmath>

CommandInputField::CommandInputField(QWidget *parent)
    : QTextEdit(parent)
{
    setAcceptRichText(false);
    setUndoRedoEnabled(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setTabChangesFocus(true);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QFont font = this->font();
    font.setPixelSize(fontPixelSize);
    font.setWeight(QFont::Normal);
    setFont(font);
    document()->setDefaultFont(font);
    document()->setDocumentMargin(0);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
    setCursorWidth(1);
    setAccessibleName(tr("Instruction"));
    connect(this, &QTextEdit::textChanged, this, &CommandInputField::textEdited);
}

void CommandInputField::setBoundText(const QString &text)
{
    if (text == toPlainText())
        return;
    m_settingBoundText = true;
    setPlainText(text);
    // Replacing the text resets the document's frame, and the inset with it.
    applyInset();
    moveCursor(QTextCursor::End);
    m_settingBoundText = false;
    recomputeHeight();
    viewport()->update();
}

void CommandInputField::setHorizontalTextInset(int inset)
{
    m_horizontalTextInset = inset;
    applyInset();
    recomputeHeight();
}

void CommandInputField::applyInset()
{
    const int inset = m_horizontalTextInset;
    QTextFrameFormat format = document()->rootFrame()->frameFormat();
    format.setLeftMargin(inset);
    format.setRightMargin(inset);
    format.setTopMargin(0);
    format.setBottomMargin(0);
    document()->rootFrame()->setFrameFormat(format);
}

void CommandInputField::setPlaceholder(const QString &placeholder)
{
    if (placeholder == m_placeholder)
        return;
    m_placeholder = placeholder;
    viewport()->update();
}

void CommandInputField::setMaxHeight(double height)
{
    m_maxHeight = height;
    recomputeHeight();
}

double CommandInputField::contentHeight() const
{
    if (document()->isEmpty())
        return m_minimumHeight;
    const double used = document()->documentLayout()->documentSize().height();
    return std::max(m_minimumHeight, std::ceil(used));
}

void CommandInputField::focusSoon()
{
    QTimer::singleShot(0, this, [this] {
        setFocus(Qt::OtherFocusReason);
        moveCursor(QTextCursor::End);
    });
}

void CommandInputField::textEdited()
{
    recomputeHeight();
    viewport()->update();
    if (m_settingBoundText)
        return;
    if (onChange)
        onChange(toPlainText());
}

void CommandInputField::recomputeHeight()
{
    if (viewport()->width() > 0)
        document()->setTextWidth(viewport()->width());
    const double height = contentHeight();
    if (document()->isEmpty() || height <= m_maxHeight) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_allowAutomaticCaretScroll = false;
        verticalScrollBar()->setValue(0);
    } else {
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        m_allowAutomaticCaretScroll = true;
        ensureCursorVisible();
    }
    if (height != m_reportedHeight) {
        m_reportedHeight = height;
        if (onHeightChange)
            onHeightChange(height);
    }
}

void CommandInputField::resizeEvent(QResizeEvent *event)
{
    QTextEdit::resizeEvent(event);
    recomputeHeight();
}

// Tab moves the focus (before keyPressEvent sees it) unless it compares.
bool CommandInputField::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier && onCompare &&
            onCompare())
            return true;
    }
    return QTextEdit::event(event);
}

void CommandInputField::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (modifiers & Qt::ControlModifier) {
            // Submit-and-replace belongs to the panel's key routing.
            event->ignore();
            return;
        }
        if (modifiers & (Qt::ShiftModifier | Qt::AltModifier)) {
            textCursor().insertText(QStringLiteral("\n"));
            ensureCursorVisible();
            return;
        }
        if (onSubmit)
            onSubmit(SubmitAction::showOutput);
        return;
    }
    if (key == Qt::Key_Escape) {
        if (onEscape)
            onEscape();
        return;
    }
    if (key == Qt::Key_Backspace && modifiers == (Qt::ControlModifier | Qt::ShiftModifier) &&
        onStartOver && onStartOver())
        return;
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && modifiers == Qt::NoModifier && onRecall &&
        onRecall(key == Qt::Key_Up))
        return;
    QTextEdit::keyPressEvent(event);
}

void CommandInputField::paintEvent(QPaintEvent *event)
{
    QTextEdit::paintEvent(event);
    if (!document()->isEmpty() || m_placeholder.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setFont(document()->defaultFont());
    QColor color(Qt::white);
    color.setAlphaF(placeholderOpacity);
    painter.setPen(color);
    const QRect area =
        viewport()->rect().adjusted(m_horizontalTextInset, 0, -m_horizontalTextInset, 0);
    const QString elided =
        painter.fontMetrics().elidedText(m_placeholder, Qt::ElideRight, area.width());
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, elided);
}

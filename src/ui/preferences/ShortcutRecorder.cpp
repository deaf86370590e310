#include "ui/preferences/ShortcutRecorder.h"

#include "core/desktop/GlobalShortcutService.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

constexpr Qt::KeyboardModifiers chordModifiers =
    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier;

Qt::KeyboardModifiers modifierOf(int key)
{
    switch (key) {
    case Qt::Key_Shift:
        return Qt::ShiftModifier;
    case Qt::Key_Control:
        return Qt::ControlModifier;
    case Qt::Key_Alt:
        return Qt::AltModifier;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return Qt::MetaModifier;
    default:
        return Qt::NoModifier;
    }
}

// Keys that do something of their own when pressed alone (F1, Print, media
// keys) rather than typing into the focused application.
bool worksAlone(int key)
{
    return (key >= Qt::Key_F1 && key <= Qt::Key_F35) || key == Qt::Key_Print ||
           key == Qt::Key_Pause || key >= Qt::Key_Back;
}

} // namespace

ShortcutRecorder::ShortcutRecorder(QWidget *parent)
    : QKeySequenceEdit(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    if (auto *field = findChild<QLineEdit *>())
        field->setPlaceholderText(tr("Press a shortcut"));
}

std::optional<QString> ShortcutRecorder::portableText() const
{
    if (m_recorded.isEmpty())
        return std::nullopt;
    return m_recorded.toString(QKeySequence::PortableText);
}

void ShortcutRecorder::setPortableText(const std::optional<QString> &portableText)
{
    m_recorded = portableText ? QKeySequence::fromString(*portableText, QKeySequence::PortableText)
                              : QKeySequence();
    restoreDisplay();
}

QString ShortcutRecorder::refusalReason(QKeyCombination chord)
{
    const int key = chord.key();
    if (key == 0 || key == Qt::Key_unknown || GlobalShortcutService::isModifierKey(key))
        return tr("A shortcut needs a key besides the modifiers, such as Alt+Space.");
    const Qt::KeyboardModifiers modifiers = chord.keyboardModifiers() & chordModifiers;
    const bool hasCommandModifier =
        modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!hasCommandModifier && !worksAlone(key))
        return tr("Add Ctrl, Alt or Super: without one, %1 would stop typing in every other "
                  "application.")
            .arg(QKeySequence(chord).toString(QKeySequence::NativeText));
    return {};
}

bool ShortcutRecorder::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = keyEvent->modifiers() & chordModifiers;
        // Tab keeps moving the focus, so the window stays usable from the keyboard.
        if (keyEvent->key() == Qt::Key_Tab && modifiers == Qt::NoModifier)
            return focusNextPrevChild(true);
        if (keyEvent->key() == Qt::Key_Backtab && (modifiers & ~Qt::ShiftModifier) == 0)
            return focusNextPrevChild(false);
    }
    return QKeySequenceEdit::event(event);
}

void ShortcutRecorder::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & chordModifiers;
    event->accept();
    if (GlobalShortcutService::isModifierKey(key)) {
        m_holdingModifiersOnly = true;
        showModifiers(modifiers);
        return;
    }
    m_holdingModifiersOnly = false;
    if (modifiers == Qt::NoModifier && key == Qt::Key_Escape) {
        restoreDisplay();
        return;
    }
    if (modifiers == Qt::NoModifier && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) {
        m_recorded = QKeySequence();
        restoreDisplay();
        Q_EMIT shortcutRecorded(std::nullopt);
        return;
    }
    const QKeyCombination chord(modifiers, Qt::Key(key));
    if (const QString reason = refusalReason(chord); !reason.isEmpty()) {
        restoreDisplay();
        Q_EMIT refused(reason);
        return;
    }
    m_recorded = QKeySequence(chord);
    restoreDisplay();
    Q_EMIT shortcutRecorded(m_recorded.toString(QKeySequence::PortableText));
}

void ShortcutRecorder::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
    if (!m_holdingModifiersOnly)
        return;
    // Desktops differ in whether a release still carries its own key's modifier.
    const Qt::KeyboardModifiers stillHeld =
        event->modifiers() & chordModifiers & ~modifierOf(event->key());
    if (stillHeld != Qt::NoModifier) {
        showModifiers(stillHeld);
        return;
    }
    // Modifiers pressed and released without a key: not a shortcut.
    m_holdingModifiersOnly = false;
    restoreDisplay();
    Q_EMIT refused(refusalReason(QKeyCombination(Qt::NoModifier, Qt::Key(0))));
}

void ShortcutRecorder::focusOutEvent(QFocusEvent *event)
{
    m_holdingModifiersOnly = false;
    restoreDisplay();
    QKeySequenceEdit::focusOutEvent(event);
}

void ShortcutRecorder::showModifiers(Qt::KeyboardModifiers modifiers)
{
    if (auto *field = findChild<QLineEdit *>()) {
        QString held;
        if (modifiers & Qt::ControlModifier)
            held += tr("Ctrl") + QLatin1Char('+');
        if (modifiers & Qt::AltModifier)
            held += tr("Alt") + QLatin1Char('+');
        if (modifiers & Qt::ShiftModifier)
            held += tr("Shift") + QLatin1Char('+');
        if (modifiers & Qt::MetaModifier)
            held += tr("Super") + QLatin1Char('+');
        field->setText(held + QStringLiteral("…"));
    }
}

void ShortcutRecorder::restoreDisplay()
{
    setKeySequence(m_recorded);
}

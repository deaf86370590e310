#include "platform/linux/shortcuts/ShortcutKey.h"

#include "core/desktop/GlobalShortcutService.h"

#include <QHash>
#include <QKeySequence>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

constexpr Qt::KeyboardModifiers usableModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

const QHash<int, quint32> &specialKeysyms()
{
    static const QHash<int, quint32> table{
        {Qt::Key_Escape, XK_Escape},
        {Qt::Key_Tab, XK_Tab},
        {Qt::Key_Backspace, XK_BackSpace},
        {Qt::Key_Return, XK_Return},
        {Qt::Key_Enter, XK_KP_Enter},
        {Qt::Key_Insert, XK_Insert},
        {Qt::Key_Delete, XK_Delete},
        {Qt::Key_Pause, XK_Pause},
        {Qt::Key_Print, XK_Print},
        {Qt::Key_Home, XK_Home},
        {Qt::Key_End, XK_End},
        {Qt::Key_Left, XK_Left},
        {Qt::Key_Up, XK_Up},
        {Qt::Key_Right, XK_Right},
        {Qt::Key_Down, XK_Down},
        {Qt::Key_PageUp, XK_Page_Up},
        {Qt::Key_PageDown, XK_Page_Down},
        {Qt::Key_Menu, XK_Menu},
    };
    return table;
}

bool isFunctionKey(int key)
{
    return key >= Qt::Key_F1 && key <= Qt::Key_F35;
}

// The keysym of a key; 0 when there is none we can grab.
quint32 keysymFor(int key, bool keypad)
{
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return XK_KP_0 + quint32(key - Qt::Key_0);
        if (key == Qt::Key_Enter || key == Qt::Key_Return)
            return XK_KP_Enter;
        return 0;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return XK_a + quint32(key - Qt::Key_A);
    if (key >= 0x20 && key <= 0x7e)
        return quint32(key); // Latin-1 keysyms equal their code points
    if (isFunctionKey(key))
        return XK_F1 + quint32(key - Qt::Key_F1);
    return specialKeysyms().value(key, 0);
}

} // namespace

ShortcutKey::ShortcutKey(Qt::Key key, Qt::KeyboardModifiers modifiers, quint32 keysym)
    : m_key(key)
    , m_modifiers(modifiers)
    , m_keysym(keysym)
{
}

std::optional<ShortcutKey> ShortcutKey::fromPortableText(const QString &text, QString *problem)
{
    const auto fail = [&](const QString &reason) -> std::optional<ShortcutKey> {
        if (problem)
            *problem = reason;
        return std::nullopt;
    };
    const QKeySequence sequence =
        QKeySequence::fromString(text.trimmed(), QKeySequence::PortableText);
    if (sequence.isEmpty())
        return fail(QStringLiteral("\"%1\" names no key").arg(text));
    if (sequence.count() != 1)
        return fail(QStringLiteral("\"%1\" is a sequence of several keys").arg(text));
    const QKeyCombination combination = sequence[0];
    const int key = int(combination.key());
    if (key == 0 || key == Qt::Key_unknown || GlobalShortcutService::isModifierKey(key))
        return fail(QStringLiteral("\"%1\" names no key besides the modifiers").arg(text));
    const Qt::KeyboardModifiers all = combination.keyboardModifiers();
    const Qt::KeyboardModifiers modifiers = all & usableModifiers;
    const quint32 keysym = keysymFor(key, all.testFlag(Qt::KeypadModifier));
    if (keysym == 0)
        return fail(QStringLiteral("\"%1\" uses a key that cannot be a global shortcut").arg(text));
    const bool standsAlone = isFunctionKey(key) || key == Qt::Key_Print || key == Qt::Key_Pause;
    if (!(modifiers & ~Qt::KeyboardModifiers(Qt::ShiftModifier)) && !standsAlone)
        return fail(QStringLiteral("\"%1\" needs Ctrl, Alt or Super").arg(text));
    return ShortcutKey(Qt::Key(key), modifiers | (all & Qt::KeypadModifier), keysym);
}

QString ShortcutKey::portableText() const
{
    return QKeySequence(QKeyCombination(m_modifiers, m_key)).toString(QKeySequence::PortableText);
}

QString ShortcutKey::gtkAccelerator() const
{
    QString accelerator;
    if (m_modifiers & Qt::ControlModifier)
        accelerator += QStringLiteral("<Control>");
    if (m_modifiers & Qt::AltModifier)
        accelerator += QStringLiteral("<Alt>");
    if (m_modifiers & Qt::ShiftModifier)
        accelerator += QStringLiteral("<Shift>");
    if (m_modifiers & Qt::MetaModifier)
        accelerator += QStringLiteral("<Super>");
    return accelerator + QString::fromLatin1(XKeysymToString(KeySym(m_keysym)));
}

QString ShortcutKey::freedesktopTrigger() const
{
    QStringList parts;
    if (m_modifiers & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (m_modifiers & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (m_modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    if (m_modifiers & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    parts << QString::fromLatin1(XKeysymToString(KeySym(m_keysym)));
    return parts.join(u'+');
}

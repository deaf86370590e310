#include "platform/linux/keys/KeyChord.h"

#include <QStringList>
#include <X11/Xlib.h>

QString KeyChord::toString() const
{
    QStringList parts;
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("Ctrl");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("Alt");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("Shift");
    const char *name = XKeysymToString(KeySym(keysym));
    QString key = name ? QString::fromLatin1(name) : QStringLiteral("0x%1").arg(keysym, 0, 16);
    if (key.size() == 1)
        key = key.toUpper();
    parts << key;
    return parts.join(QLatin1Char('+'));
}

#include "platform/linux/applications/ClipboardKeys.h"

#include "platform/linux/applications/ProcessInfo.h"
#include "platform/linux/x11/X11Desktop.h"

#include <QSet>
#include <QStringList>

namespace {

// Terminals whose copy and paste keys are Ctrl+Shift+C and Ctrl+Shift+V, by
// executable, window class or application id (lower case).
const QSet<QString> &shiftedTerminals()
{
    static const QSet<QString> names{QStringLiteral("gnome-terminal"),
                                     QStringLiteral("gnome-terminal-server"),
                                     QStringLiteral("gnome-terminal.real"),
                                     QStringLiteral("org.gnome.terminal"),
                                     QStringLiteral("konsole"),
                                     QStringLiteral("org.kde.konsole"),
                                     QStringLiteral("kitty"),
                                     QStringLiteral("alacritty"),
                                     QStringLiteral("org.alacritty"),
                                     QStringLiteral("wezterm"),
                                     QStringLiteral("wezterm-gui"),
                                     QStringLiteral("org.wezfurlong.wezterm"),
                                     QStringLiteral("foot"),
                                     QStringLiteral("footclient"),
                                     QStringLiteral("tilix"),
                                     QStringLiteral("com.gexperts.tilix"),
                                     QStringLiteral("xfce4-terminal"),
                                     QStringLiteral("terminator"),
                                     QStringLiteral("st"),
                                     QStringLiteral("st-256color"),
                                     QStringLiteral("lxterminal"),
                                     QStringLiteral("mate-terminal"),
                                     QStringLiteral("qterminal"),
                                     QStringLiteral("terminology"),
                                     QStringLiteral("sakura"),
                                     QStringLiteral("guake"),
                                     QStringLiteral("tilda"),
                                     QStringLiteral("kgx"),
                                     QStringLiteral("org.gnome.console"),
                                     QStringLiteral("ptyxis"),
                                     QStringLiteral("org.gnome.ptyxis"),
                                     QStringLiteral("ghostty"),
                                     QStringLiteral("com.mitchellh.ghostty"),
                                     QStringLiteral("contour"),
                                     QStringLiteral("cool-retro-term"),
                                     QStringLiteral("deepin-terminal"),
                                     QStringLiteral("tabby"),
                                     QStringLiteral("hyper"),
                                     QStringLiteral("rio"),
                                     QStringLiteral("blackbox"),
                                     QStringLiteral("com.raggesilver.blackbox"),
                                     QStringLiteral("x-terminal-emulator"),
                                     QStringLiteral("warp"),
                                     QStringLiteral("dev.warp.warp")};
    return names;
}

// Terminals that send a control character for Ctrl+Shift+C as well.
const QSet<QString> &primaryTerminals()
{
    static const QSet<QString> names{
        QStringLiteral("xterm"),      QStringLiteral("uxterm"), QStringLiteral("lxterm"),
        QStringLiteral("koi8rxterm"), QStringLiteral("urxvt"),  QStringLiteral("urxvtc"),
        QStringLiteral("urxvtd"),     QStringLiteral("rxvt"),   QStringLiteral("rxvt-unicode"),
        QStringLiteral("aterm"),      QStringLiteral("eterm")};
    return names;
}

} // namespace

ClipboardKeys ClipboardKeys::forNames(const QStringList &names)
{
    ClipboardKeys keys;
    keys.copy = KeyChord{Qt::ControlModifier, KeySyms::c};
    keys.paste = KeyChord{Qt::ControlModifier, KeySyms::v};
    for (const QString &name : names) {
        const QString lower = name.toLower();
        if (primaryTerminals().contains(lower)) {
            keys.kind = Kind::primaryTerminal;
            keys.copy.reset();
            keys.paste = KeyChord{Qt::ShiftModifier, KeySyms::insert};
            keys.pasteReadsPrimary = true;
            return keys;
        }
        if (shiftedTerminals().contains(lower)) {
            keys.kind = Kind::terminal;
            keys.copy = KeyChord{Qt::ControlModifier | Qt::ShiftModifier, KeySyms::c};
            keys.paste = KeyChord{Qt::ControlModifier | Qt::ShiftModifier, KeySyms::v};
            return keys;
        }
    }
    return keys;
}

ClipboardKeys ClipboardKeys::forProcess(qint32 pid, X11Desktop &x11)
{
    QStringList names = ProcessInfo::names(pid);
    names += x11.windowClass(x11.topWindowOfProcess(pid));
    return forNames(names);
}

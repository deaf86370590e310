#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

// Named shortcuts that fire anywhere on the desktop. A shortcut is kept as
// its portable text ("Alt+Space", QKeySequence::PortableText) so the core
// needs no GUI types; the windows turn it into a key sequence for display.
//
// Choices persist in the settings file and take effect at once. Whether the
// desktop accepted a shortcut is asked, not assumed: a key another program
// holds is reported through registrationError(), never silently dropped.
// Everything here lives on the main thread, and activated() is delivered
// there.
class GlobalShortcutService : public QObject
{
    Q_OBJECT

public:
    static inline const QString toggleWrenlark = QStringLiteral("toggleWrenlark");
    static inline const QString screenSelection = QStringLiteral("screenSelection");

    // The names this application declares, in the order Settings lists them.
    static QStringList names() { return {toggleWrenlark, screenSelection}; }

    // A saved command's shortcut goes by "command-<id>".
    static QString commandName(const QUuid &id)
    {
        return QStringLiteral("command-") + id.toString(QUuid::WithoutBraces);
    }
    // The saved command a name belongs to; null for this application's own.
    static QUuid commandId(const QString &name)
    {
        return name.startsWith(QLatin1String("command-")) ? QUuid::fromString(name.mid(8))
                                                          : QUuid();
    }

    // Keys that only modify another (Shift, Ctrl, Lock keys...): a shortcut
    // needs one more key besides them.
    static bool isModifierKey(int key)
    {
        switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
            return true;
        default:
            return false;
        }
    }

    // A saved command's shortcut, as registered.
    struct CommandShortcut
    {
        QUuid id;
        QString shorthand;
        QString shortcut;
    };

    using QObject::QObject;

    // The name's shortcut; absent when none is set (or the user cleared it).
    virtual std::optional<QString> shortcut(const QString &name) const = 0;
    // Sets (or, with an absent value, clears) the name's shortcut, persists
    // it and registers it with the desktop. False when the text names no
    // usable shortcut; the stored choice is then unchanged. A well-formed
    // shortcut the desktop refuses is stored and reported through
    // registrationError().
    virtual bool setShortcut(const QString &name, const std::optional<QString> &portableText) = 0;
    // Why the name's shortcut does not work right now ("Alt+Space is used by
    // another program."); empty when it is registered or none is set.
    virtual QString registrationError(const QString &name) const = 0;
    // How shortcuts reach this application on this desktop, for `doctor`
    // ("X11 key grab", "GlobalShortcuts portal", or why there is none).
    virtual QString mechanismDescription() const = 0;
    // What of the desktop's own already holds the shortcut ("KRunner"), as
    // far as the method shortcuts take here can tell; nothing when it is free
    // or that method cannot tell. May wait briefly for the desktop.
    virtual std::optional<QString> desktopUseOf(const QString &portableText) const
    {
        Q_UNUSED(portableText);
        return std::nullopt;
    }
    // Registers the shortcuts of the saved commands (stored with the
    // commands, not here) in place of the earlier list's, under
    // commandName(); a command without a shortcut may be listed. A key that another shortcut of
    // this application already has is not registered; registrationError() says which has it. A
    // command's shortcut that fails leaves every other one working.
    virtual void setCommandShortcuts(const QList<CommandShortcut> &commands) = 0;
    // The activation token the desktop sent with the press being handled
    // (Wayland portals); empty when there is none.
    virtual QByteArray pressActivationToken() const { return {}; }

Q_SIGNALS:
    // The name's shortcut was pressed. `timestamp` is the desktop's time of
    // the press (the X server time on X11; 0 when unknown), which a window
    // shown in answer passes on so the window manager lets it take focus.
    void activated(const QString &name, quint32 timestamp);
    // The shortcut or its registration state changed.
    void shortcutChanged(const QString &name);
};

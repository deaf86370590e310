#pragma once

#include <QObject>

// The desktop's permission for Wrenlark to type the copy and paste keys,
// where the desktop asks for one (the RemoteDesktop portal: GNOME, KDE
// Plasma). Settings says what was granted and lets the user take it back.
class KeyboardControlPermission : public QObject
{
    Q_OBJECT

public:
    enum class Grant {
        // Not granted yet: the desktop asks the first time keys are needed.
        notGranted,
        // Granted until Wrenlark quits; the desktop asks again after.
        untilQuit,
        // Granted, and the desktop keeps it from one start to the next.
        kept,
    };

    using QObject::QObject;

    virtual Grant grant() const = 0;
    // Ends the permission in use and forgets the kept one: the desktop asks
    // again the next time keys are needed.
    virtual void revoke() = 0;

Q_SIGNALS:
    void grantChanged();
};

#pragma once

#include "platform/linux/shortcuts/ShortcutBackend.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>
#include <QTimer>

// Global shortcuts on X11: passive key grabs on the root window, made on
// Qt's own connection so the presses arrive in Qt's event stream, where a
// native event filter picks them up on the main thread.
//
// Each shortcut is grabbed four times, with and without Lock and NumLock
// (Mod2), so it works whatever their state. The grab requests are checked
// one by one: a key another client holds answers BadAccess, and then the
// variants already taken are released again and the refusal is returned.
//
// Keys typed right after a shortcut would reach the window the user came
// from until the bar has the focus. So the grabs freeze the keyboard at
// their press (synchronous grab mode): the server queues what is typed next
// and hands it on, in order, once a window of ours gains or loses the focus
// (or after a bound, or at once when one of ours already has it). Keys typed
// through XTest end the freeze too: they drop the grab.
//
// A grab holds a key code, which a keyboard layout maps to a key symbol:
// when the layout changes (setxkbmap, the desktop's layout switcher), each
// shortcut is grabbed again at the key code of its symbol in the new map.
class X11KeyGrabber : public ShortcutBackend, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // How long the keyboard stays frozen at most after a press.
    static constexpr int typeAheadBoundMs = 1000;

    // Needs a QGuiApplication on the xcb platform; isAvailable() says.
    explicit X11KeyGrabber(QObject *parent = nullptr);
    ~X11KeyGrabber() override;

    bool isAvailable() const { return m_connection != nullptr; }

    QString mechanismDescription() const override;
    QString bind(const QString &name, const std::optional<ShortcutKey> &key) override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    struct Grab
    {
        quint32 keysym = 0;
        quint8 keycode = 0;
        quint16 modifiers = 0;
    };

    QString grab(const Grab &grab);
    void ungrab(const Grab &grab);
    // The key code of `keysym` in the server's current map; 0 when no key has it.
    quint8 keycodeOf(quint32 keysym) const;
    void grabAgainForTheNewKeymap();
    void holdTypeAhead();
    void letKeyboardGo();

    struct xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
    // The first event number of XKB, which Qt's connection has selected the
    // keymap events of; 0 without XKB.
    quint8 m_xkbFirstEvent = 0;
    QHash<QString, Grab> m_grabs;
    // The server time of the last release of each grabbed key code: X
    // reports an auto-repeated key as a release and a press at one time.
    QHash<quint8, quint32> m_lastRelease;
    // Runs while keys typed after a press are held for the bar.
    QTimer m_typeAheadBound;
};

#pragma once

#include "platform/linux/keys/KeySynthesizer.h"

#include <QObject>
#include <memory>

class QSocketNotifier;
class WaylandGlobals;

// Keys through the compositor's virtual-keyboard protocol
// (zwp_virtual_keyboard_manager_v1, offered by wlroots compositors: sway,
// river, labwc, Hyprland…), over a Wayland connection of its own to
// $WAYLAND_DISPLAY, whichever platform plugin Qt runs on. The compositor
// types them into its focused window, Wayland or XWayland, with the
// keyboard's own modifier state: keys the user still holds on the real
// keyboard do not mix in. The keyboard's keymap is the user's XKB layout
// (XKB_DEFAULT_LAYOUT and friends, else the system default). The
// connection opens on first use, stays open while it works and reopens
// after the compositor dropped it. Main thread only.
class VirtualKeyboardKeys : public QObject, public KeySynthesizer
{
    Q_OBJECT

public:
    // Whether the compositor at $WAYLAND_DISPLAY offers the protocol and a
    // seat; waits at most `timeoutMs` for its answer.
    static bool isOffered(int timeoutMs = 1000);
    // Whether these globals hold the protocol and a seat.
    static bool isOfferedBy(const WaylandGlobals &globals);

    explicit VirtualKeyboardKeys(QObject *parent = nullptr);
    ~VirtualKeyboardKeys() override;

    bool isAvailable() override;
    // Returns once the compositor has handled the keys (a round trip,
    // bounded by a second).
    bool sendChord(const KeyChord &chord, QString *error = nullptr) override;
    QString mechanismDescription() const override;

    // Why the keyboard could not be set up or failed last; empty while
    // none did.
    QString lastError() const { return m_lastError; }

private:
    struct Connection;

    bool ensureConnected(QString *error);
    std::unique_ptr<Connection> connectToCompositor(QString *error);
    bool fail(const QString &message, QString *error);
    void disconnect();
    void onReadable();

    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QString m_lastError;
};

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class X11Desktop;

// The variables a desktop session sets for the programs in it.
struct DesktopEnvironment
{
    QString display;             // DISPLAY: an X server (Xorg, or XWayland under Wayland)
    QString waylandDisplay;      // WAYLAND_DISPLAY
    QString sessionType;         // XDG_SESSION_TYPE: "x11", "wayland", "tty"…
    QString currentDesktop;      // XDG_CURRENT_DESKTOP: "GNOME", "ubuntu:GNOME", "KDE", "sway"…
    QString requestedQtPlatform; // QT_QPA_PLATFORM as the user set it
    QString swaySocket;          // SWAYSOCK: sway's IPC socket

    static DesktopEnvironment fromProcess();
};

// What this process found out about the desktop beyond its environment.
struct DesktopProbes
{
    // QGuiApplication::platformName(); empty when this process has no GUI.
    QString qtPlatform;
    bool x11Reachable = false;
    bool xtestAvailable = false;
    bool globalShortcutsPortal = false;
    // KDE's shortcut service (org.kde.kglobalaccel) runs on the session bus.
    bool kdeGlobalAccel = false;
    // The RemoteDesktop portal's version; 0: not offered. Version 1 keeps
    // no permission: the desktop asks at every start of a session.
    uint remoteDesktopPortalVersion = 0;
    // Whether the portal offers the Screenshot interface; not asked where
    // only the method matters (it may start later), asked for what is said.
    std::optional<bool> screenshotPortal;
    // The compositor offers zwp_virtual_keyboard_manager_v1 (wlroots).
    bool virtualKeyboardProtocol = false;
    // The compositor offers zwlr_data_control_manager_v1 (wlroots, KWin).
    bool dataControlProtocol = false;
    // A compositor answers on SWAYSOCK.
    bool swayIpc = false;
    // KWin (org.kde.KWin) runs on the session bus: it runs scripts.
    bool kwinScripting = false;
    // Mutter offers org.gnome.Mutter.RemoteDesktop on the session bus.
    bool mutterRemoteDesktop = false;
};

// The kind of session this process runs in and the method each desktop
// capability takes in it, each with the reason it was chosen. A pure
// decision over the environment and the probes, so any desktop can be
// described without running on it.
class DesktopSession
{
public:
    enum class Kind { x11, wayland, unknown };
    enum class Family { gnome, kde, wlroots, other };
    // How this process talks to the display server.
    enum class Client { x11, xwayland, wayland, none };
    enum class ShortcutMethod { x11Grab, kdeGlobalAccel, portal, bindCommand };
    enum class KeySynthesisMethod {
        xtest,
        mutterRemoteDesktop,
        remoteDesktopPortal,
        virtualKeyboard,
        none
    };
    enum class CaptureMethod { x11Grab, screenshotPortal, none };
    // Whether PRIMARY is read as the selection: only while its owner can be
    // told to be the target application, which X11 says and Wayland never
    // does (a Wayland application's selection is copied with its keystroke).
    enum class PrimarySelectionMethod { x11OwnerChecked, notRead };
    // Who tells the focused window and brings windows back.
    enum class WindowTrackingMethod { x11WindowManager, swayIpc, kwinScript, none };
    // Which windows see the clipboard this process writes while they have
    // the focus (a paste, the user's clipboard put back after a copy).
    // `dataControl`: X11's clipboard reaches X11 windows only, and a copy
    // from or paste into a Wayland window goes through the Wayland
    // clipboard.
    enum class ClipboardReach { allWindows, x11Windows, dataControl };

    template<typename Method> struct Choice
    {
        Method method;
        QString reason;
    };

    static DesktopSession decide(const DesktopEnvironment &environment,
                                 const DesktopProbes &probes);
    // This process's session: its environment, and probes that ask the X
    // server (over `x11`), the session bus and the compositor (blocking for
    // at most a second each).
    static DesktopSession current(X11Desktop &x11);

    // The Qt platform plugin to ask for before the QApplication exists;
    // empty to leave the choice to Qt. The user's QT_QPA_PLATFORM wins.
    static QByteArray preferredQtPlatform(const DesktopEnvironment &environment);
    // Sets QT_QPA_PLATFORM to the preferred plugin, if any; call before the
    // QApplication. DesktopEnvironment::fromProcess() still reports what
    // the user had set.
    static void choosePlatformForThisProcess();

    Kind kind = Kind::unknown;
    Family family = Family::other;
    // The desktop's own name, as XDG_CURRENT_DESKTOP gives it.
    QString desktopName;
    Choice<Client> client{Client::none, {}};
    Choice<ShortcutMethod> shortcut{ShortcutMethod::bindCommand, {}};
    Choice<KeySynthesisMethod> keySynthesis{KeySynthesisMethod::none, {}};
    Choice<CaptureMethod> capture{CaptureMethod::none, {}};
    Choice<PrimarySelectionMethod> primarySelection{PrimarySelectionMethod::notRead, {}};
    Choice<WindowTrackingMethod> windowTracking{WindowTrackingMethod::none, {}};
    Choice<ClipboardReach> clipboardReach{ClipboardReach::allWindows, {}};
    // The desktop keeps the user's permission for the RemoteDesktop keys
    // from one start of Wrenlark to the next.
    bool remoteDesktopConsentKept = false;
    // The desktop's RemoteDesktop portal grants the keys without asking.
    bool remoteDesktopGrantedUnasked = false;

    static QString name(Kind kind);
    static QString name(Family family);
    static QString name(Client client);
    static QString name(ShortcutMethod method);
    static QString name(KeySynthesisMethod method);
    static QString name(CaptureMethod method);
    static QString name(PrimarySelectionMethod method);
    static QString name(WindowTrackingMethod method);
    static QString name(ClipboardReach reach);
};

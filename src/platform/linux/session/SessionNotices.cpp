#include "platform/linux/session/SessionNotices.h"

#include "platform/linux/desktops/DesktopProfile.h"

#include <QCoreApplication>

namespace {

using Session = DesktopSession;

QString tr(const char *text)
{
    return QCoreApplication::translate("SessionNotices", text);
}

QString shortcutNotice(const Session &session, bool desktopShortcutOffered)
{
    if (session.shortcut.method != Session::ShortcutMethod::bindCommand ||
        session.kind == Session::Kind::unknown || desktopShortcutOffered)
        return {};
    return DesktopProfile::of(session.family).shortcutNotice();
}

QString keysNotice(const Session &session)
{
    switch (session.keySynthesis.method) {
    case Session::KeySynthesisMethod::remoteDesktopPortal:
        if (session.remoteDesktopGrantedUnasked)
            return {};
        if (session.remoteDesktopConsentKept)
            return tr("Wrenlark types its copy and paste keys through your desktop's remote "
                      "desktop permission. Allow it when the desktop asks; it asks once.");
        return tr("Wrenlark types its copy and paste keys through your desktop's remote desktop "
                  "permission. This desktop keeps no such permission: it asks each time "
                  "Wrenlark starts, at the first copy or paste.");
    case Session::KeySynthesisMethod::mutterRemoteDesktop:
    case Session::KeySynthesisMethod::virtualKeyboard:
        // Reaches every window of the compositor, asks nothing.
        return {};
    case Session::KeySynthesisMethod::xtest:
        if (session.kind != Session::Kind::wayland)
            return {};
        return tr("Wrenlark can type copy and paste keys into X11 applications only here. In "
                  "other applications it reads and replaces text through accessibility, and "
                  "leaves a reply it cannot paste on the clipboard.");
    case Session::KeySynthesisMethod::none:
        break;
    }
    if (session.client.method == Session::Client::none)
        return {};
    return tr("Wrenlark cannot type copy and paste keys here. It reads and replaces text through "
              "accessibility only, and leaves a reply it cannot paste on the clipboard.");
}

QString clipboardNotice(const Session &session)
{
    if (session.clipboardReach.method != Session::ClipboardReach::x11Windows)
        return {};
    return tr("In Wayland applications Wrenlark reads and replaces text through accessibility "
              "only: your compositor passes them Wrenlark's clipboard only while Wrenlark's own "
              "window has the focus, so it does not copy or paste there with keys. A reply it "
              "cannot write is left on the clipboard.");
}

// Only Wayland lacks a way: X11 grabs the screen itself.
QString captureNotice(const Session &session)
{
    if (session.capture.method != Session::CaptureMethod::none ||
        session.kind != Session::Kind::wayland || session.client.method == Session::Client::none)
        return {};
    return tr("Wrenlark cannot capture a screen region here: on Wayland that takes the desktop's "
              "screenshot portal (xdg-desktop-portal with a backend for your desktop, such as "
              "xdg-desktop-portal-wlr on sway), and none offers it.");
}

} // namespace

namespace SessionNotices {

DesktopNotices forSession(const DesktopSession &session, bool desktopShortcutOffered)
{
    DesktopNotices notices;
    notices.shortcut = shortcutNotice(session, desktopShortcutOffered);
    if (const QString keys = keysNotice(session); !keys.isEmpty())
        notices.capabilities << keys;
    if (const QString clipboard = clipboardNotice(session); !clipboard.isEmpty())
        notices.capabilities << clipboard;
    if (const QString capture = captureNotice(session); !capture.isEmpty())
        notices.capabilities << capture;
    return notices;
}

} // namespace SessionNotices

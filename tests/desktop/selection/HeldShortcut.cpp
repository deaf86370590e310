#include "HeldShortcut.h"

#include <QGuiApplication>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

Display *qtDisplay()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

} // namespace

HeldShortcut::HeldShortcut()
{
    Display *display = qtDisplay();
    if (!display)
        return;
    XGrabKey(display, XKeysymToKeycode(display, XK_space), Mod1Mask, DefaultRootWindow(display),
             True, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    m_grabbed = true;
}

HeldShortcut::~HeldShortcut()
{
    if (Display *display = qtDisplay(); display && m_grabbed) {
        XUngrabKey(display, XKeysymToKeycode(display, XK_space), Mod1Mask,
                   DefaultRootWindow(display));
        XSync(display, False);
    }
}

bool HeldShortcut::isAltDown()
{
    Display *display = qtDisplay();
    if (!display)
        return false;
    char keys[32] = {};
    XQueryKeymap(display, keys);
    const int alt = XKeysymToKeycode(display, XK_Alt_L);
    return keys[alt / 8] & (1 << (alt % 8));
}

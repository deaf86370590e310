#include "platform/linux/x11/X11PanelWindowSupport.h"

#include "platform/linux/clipboard/ClipboardLock.h"
#include "platform/linux/x11/X11Desktop.h"

#include <QByteArray>
#include <QGuiApplication>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <array>

namespace {

constexpr long netWmStateAdd = 1;
constexpr long sourceIndicationPager = 2;
constexpr unsigned long allDesktops = 0xFFFFFFFF;

Atom atom(Display *display, const char *name)
{
    return XInternAtom(display, name, False);
}

void sendToRoot(Display *display, Window window, Atom type, const std::array<long, 5> &data)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    for (size_t i = 0; i < data.size(); ++i)
        event.xclient.data.l[i] = data[i];
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

bool isViewable(Display *display, Window window)
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

} // namespace

X11PanelWindowSupport::X11PanelWindowSupport(X11Desktop &x11)
    : m_x11(x11)
    , m_available(QGuiApplication::platformName() == QLatin1String("xcb") && x11.isAvailable())
{
}

void X11PanelWindowSupport::preparePanelWindow(WindowId window)
{
    if (!m_available || window == 0)
        return;
    Display *display = m_x11.display();
    // Written before the window is mapped, so the window manager reads them
    // when it manages the window; the toolkit keeps states it did not set.
    const std::array<Atom, 4> states{
        atom(display, "_NET_WM_STATE_STICKY"), atom(display, "_NET_WM_STATE_SKIP_TASKBAR"),
        atom(display, "_NET_WM_STATE_SKIP_PAGER"), atom(display, "_NET_WM_STATE_ABOVE")};
    XChangeProperty(display, window, atom(display, "_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(states.data()), int(states.size()));
    const unsigned long desktop = allDesktops;
    XChangeProperty(display, window, atom(display, "_NET_WM_DESKTOP"), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char *>(&desktop), 1);
    // Another connection than the toolkit's: make sure the server has the
    // states before the toolkit maps the window.
    XSync(display, False);
}

void X11PanelWindowSupport::activatePanelWindow(WindowId window, quint32 timestamp)
{
    if (!m_available || window == 0)
        return;
    Display *display = m_x11.display();
    const Window activeWindow = m_x11.activeWindow();
    // The states again for a window manager that dropped them on an unmap.
    const Atom wmState = atom(display, "_NET_WM_STATE");
    sendToRoot(display, window, wmState,
               {netWmStateAdd, long(atom(display, "_NET_WM_STATE_STICKY")),
                long(atom(display, "_NET_WM_STATE_ABOVE")), 1, 0});
    sendToRoot(display, window, wmState,
               {netWmStateAdd, long(atom(display, "_NET_WM_STATE_SKIP_TASKBAR")),
                long(atom(display, "_NET_WM_STATE_SKIP_PAGER")), 1, 0});
    // As a pager asks, with the time of the key press, which focus-stealing
    // prevention lets through.
    sendToRoot(display, window, atom(display, "_NET_ACTIVE_WINDOW"),
               {sourceIndicationPager, long(timestamp), long(activeWindow), 0, 0});
    if (isViewable(display, window)) {
        XRaiseWindow(display, window);
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
    }
    // No XSync: it has stalled for seconds with a busy window manager.
    XFlush(display);
}

std::optional<QPoint> X11PanelWindowSupport::focusedWindowCenter()
{
    if (!m_available)
        return std::nullopt;
    Display *display = m_x11.display();
    const Window window = m_x11.activeWindow();
    if (window == 0)
        return std::nullopt;
    Window root = 0;
    int x = 0;
    int y = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    unsigned int border = 0;
    unsigned int depth = 0;
    if (!XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth))
        return std::nullopt;
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, window, root, 0, 0, &rootX, &rootY, &child))
        return std::nullopt;
    return QPoint(rootX + int(width / 2), rootY + int(height / 2));
}

bool X11PanelWindowSupport::hasCompositor()
{
    if (!m_available)
        return false;
    Display *display = m_x11.display();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    return XGetSelectionOwner(display, atom(display, name.constData())) != 0;
}

bool X11PanelWindowSupport::isClipboardOperationRunning()
{
    return ClipboardLock::count() > 0;
}

std::optional<bool> X11PanelWindowSupport::holdsKeyboardFocus(WindowId window)
{
    if (!m_available || QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::nullopt;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_x11.display(), &focus, &revert);
    return focus == Window(window);
}

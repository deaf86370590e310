#include "platform/linux/x11/X11Desktop.h"

#include <QStringList>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <memory>

namespace {

struct XFreeDeleter
{
    void operator()(unsigned char *data) const
    {
        if (data)
            XFree(data);
    }
};

// Reads a property of 32-bit items (CARDINAL, WINDOW, ATOM); Xlib hands
// them out as longs.
QList<unsigned long> longProperty(Display *display, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char *raw = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, 4096, False, type,
                                          &actualType, &actualFormat, &count, &remaining, &raw);
    std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    if (status != Success || !data || actualFormat != 32)
        return {};
    const auto *items = reinterpret_cast<const unsigned long *>(data.get());
    return QList<unsigned long>(items, items + count);
}

} // namespace

X11Desktop::X11Desktop()
{
    m_display = XOpenDisplay(nullptr);
}

X11Desktop::~X11Desktop()
{
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned long X11Desktop::atom(const char *name)
{
    return XInternAtom(m_display, name, False);
}

QList<X11Desktop::WindowId> X11Desktop::windowListProperty(WindowId window, const char *property)
{
    QList<WindowId> windows;
    for (unsigned long id : longProperty(m_display, window, atom(property), XA_WINDOW))
        windows.append(id);
    return windows;
}

QString X11Desktop::windowManagerName()
{
    if (!m_display)
        return {};
    const auto check = windowListProperty(DefaultRootWindow(m_display), "_NET_SUPPORTING_WM_CHECK");
    if (check.isEmpty() || check.first() == 0)
        return {};
    Atom actualType = 0;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char *raw = nullptr;
    const int status = XGetWindowProperty(m_display, check.first(), atom("_NET_WM_NAME"), 0, 1024,
                                          False, atom("UTF8_STRING"), &actualType, &actualFormat,
                                          &count, &remaining, &raw);
    std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    if (status != Success || !data || actualFormat != 8)
        return QStringLiteral("unnamed");
    return QString::fromUtf8(reinterpret_cast<const char *>(data.get()), qsizetype(count));
}

bool X11Desktop::supportsActiveWindowHint()
{
    if (!m_display)
        return false;
    const auto supported =
        longProperty(m_display, DefaultRootWindow(m_display), atom("_NET_SUPPORTED"), XA_ATOM);
    return supported.contains(atom("_NET_ACTIVE_WINDOW")) &&
           supported.contains(atom("_NET_WM_PID"));
}

X11Desktop::WindowId X11Desktop::activeWindow()
{
    if (!m_display)
        return 0;
    const auto active = windowListProperty(DefaultRootWindow(m_display), "_NET_ACTIVE_WINDOW");
    return active.isEmpty() ? 0 : active.first();
}

QList<X11Desktop::WindowId> X11Desktop::clientWindows()
{
    if (!m_display)
        return {};
    const Window root = DefaultRootWindow(m_display);
    auto windows = windowListProperty(root, "_NET_CLIENT_LIST_STACKING");
    if (windows.isEmpty())
        windows = windowListProperty(root, "_NET_CLIENT_LIST");
    return windows;
}

qint32 X11Desktop::windowPid(WindowId window)
{
    if (!m_display || window == 0)
        return 0;
    const auto pid = longProperty(m_display, window, atom("_NET_WM_PID"), XA_CARDINAL);
    return pid.isEmpty() ? 0 : qint32(pid.first());
}

QStringList X11Desktop::windowClass(WindowId window)
{
    if (!m_display || window == 0)
        return {};
    XClassHint hint{};
    if (!XGetClassHint(m_display, window, &hint))
        return {};
    QStringList names{QString::fromLocal8Bit(hint.res_name),
                      QString::fromLocal8Bit(hint.res_class)};
    XFree(hint.res_name);
    XFree(hint.res_class);
    return names;
}

X11Desktop::WindowId X11Desktop::topWindowOfProcess(qint32 pid)
{
    if (pid <= 0)
        return 0;
    const auto windows = clientWindows();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        if (windowPid(*it) == pid)
            return *it;
    }
    return 0;
}

bool X11Desktop::activateWindow(WindowId window)
{
    if (!m_display || window == 0)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // source indication: pager
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = 0;
    const Status sent = XSendEvent(m_display, DefaultRootWindow(m_display), False,
                                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(m_display);
    return sent != 0;
}

X11Desktop::WindowId X11Desktop::topLevelOf(WindowId window)
{
    Window current = window;
    for (int depth = 0; depth < 32; ++depth) {
        Window root = 0;
        Window parent = 0;
        Window *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, current, &root, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root || parent == 0)
            return current;
        current = parent;
    }
    return 0;
}

qint32 X11Desktop::selectionOwnerPid(const char *selectionName)
{
    if (!m_display)
        return 0;
    const Window owner = XGetSelectionOwner(m_display, atom(selectionName));
    if (owner == 0)
        return 0;
    if (const qint32 pid = windowPid(owner))
        return pid;
    if (const Window top = topLevelOf(owner); top != 0 && top != owner) {
        if (const qint32 pid = windowPid(top))
            return pid;
    }
    // Toolkits often own selections with an unmapped helper window that has
    // no pid. Resource ids carry the id of the X client that created them,
    // so a managed window of the same client tells the process.
    // (private4 is the connection's resource_mask, the same for every client.)
    const unsigned long clientMask = ~reinterpret_cast<_XPrivDisplay>(m_display)->private4;
    for (WindowId window : clientWindows()) {
        if ((window & clientMask) == (owner & clientMask)) {
            if (const qint32 pid = windowPid(window))
                return pid;
        }
    }
    return 0;
}

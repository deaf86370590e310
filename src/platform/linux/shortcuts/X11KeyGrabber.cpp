#include "platform/linux/shortcuts/X11KeyGrabber.h"

#include "core/support/Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <X11/Xlib.h>
#include <cstring>
#include <xcb/xcb.h>

namespace {

// What a press's state is compared on: Lock, NumLock and the mouse buttons
// do not count.
constexpr quint16 relevantModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr quint16 lockVariants[] = {0, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK,
                                    XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK};
// XKB's event kinds (its second byte) that say the key map changed.
constexpr quint8 xkbNewKeyboardNotify = 0;
constexpr quint8 xkbMapNotify = 1;

quint16 x11Modifiers(Qt::KeyboardModifiers modifiers)
{
    quint16 mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

bool isKeymapChange(const xcb_generic_event_t *event, quint8 xkbFirstEvent)
{
    const quint8 type = event->response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY)
        return reinterpret_cast<const xcb_mapping_notify_event_t *>(event)->request ==
               XCB_MAPPING_KEYBOARD;
    // Every XKB event shares one number; its kind is the second byte.
    return xkbFirstEvent != 0 && type == xkbFirstEvent &&
           (event->pad0 == xkbNewKeyboardNotify || event->pad0 == xkbMapNotify);
}

// A window of ours gained or lost the focus: the bar opened (or a window
// took its place), or the press closed it. The focus events that a grab
// itself causes do not count.
bool isFocusMove(const xcb_generic_event_t *event, xcb_window_t root)
{
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_FOCUS_IN && type != XCB_FOCUS_OUT)
        return false;
    const auto *focus = reinterpret_cast<const xcb_focus_in_event_t *>(event);
    return focus->event != root && focus->mode != XCB_NOTIFY_MODE_GRAB &&
           focus->mode != XCB_NOTIFY_MODE_UNGRAB && focus->detail != XCB_NOTIFY_DETAIL_POINTER;
}

} // namespace

X11KeyGrabber::X11KeyGrabber(QObject *parent)
    : ShortcutBackend(parent)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !x11->display())
        return;
    m_connection = x11->connection();
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    const int wanted = DefaultScreen(x11->display());
    for (int i = 0; i < wanted && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    m_root = screens.data->root;
    const char xkbName[] = "XKEYBOARD";
    xcb_query_extension_reply_t *xkb = xcb_query_extension_reply(
        m_connection, xcb_query_extension(m_connection, std::strlen(xkbName), xkbName), nullptr);
    if (xkb && xkb->present)
        m_xkbFirstEvent = xkb->first_event;
    free(xkb);
    m_typeAheadBound.setSingleShot(true);
    m_typeAheadBound.setInterval(typeAheadBoundMs);
    connect(&m_typeAheadBound, &QTimer::timeout, this, &X11KeyGrabber::letKeyboardGo);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11KeyGrabber::~X11KeyGrabber()
{
    if (!m_connection)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    letKeyboardGo();
    for (const Grab &existing : std::as_const(m_grabs))
        ungrab(existing);
    xcb_flush(m_connection);
}

QString X11KeyGrabber::mechanismDescription() const
{
    return isAvailable() ? QStringLiteral("X11 key grab on the root window")
                         : QStringLiteral("none: the X11 display cannot be reached");
}

QString X11KeyGrabber::bind(const QString &name, const std::optional<ShortcutKey> &key)
{
    if (!m_connection)
        return key ? tr("The X11 display cannot be reached.") : QString();
    if (const auto previous = m_grabs.constFind(name); previous != m_grabs.cend()) {
        ungrab(*previous);
        m_grabs.erase(previous);
    }
    if (!key)
        return {};
    Grab wanted;
    wanted.keysym = key->keysym();
    wanted.keycode = keycodeOf(wanted.keysym);
    wanted.modifiers = x11Modifiers(key->modifiers());
    if (wanted.keycode == 0)
        return tr("%1 is not on this keyboard layout.").arg(key->portableText());
    const QString refusal = grab(wanted);
    if (!refusal.isEmpty())
        return refusal.arg(key->portableText());
    m_grabs.insert(name, wanted);
    return {};
}

QString X11KeyGrabber::grab(const Grab &wanted)
{
    xcb_void_cookie_t cookies[std::size(lockVariants)];
    for (size_t i = 0; i < std::size(lockVariants); ++i)
        cookies[i] =
            xcb_grab_key_checked(m_connection, 1, m_root, wanted.modifiers | lockVariants[i],
                                 wanted.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC);
    QString refusal;
    for (const xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
            if (refusal.isEmpty())
                refusal = error->error_code == XCB_ACCESS
                              ? tr("%1 is used by another program.")
                              : tr("%1 could not be registered (X11 error %2).")
                                    .arg(QStringLiteral("%1"), QString::number(error->error_code));
            free(error);
        }
    }
    // Roll back: ungrabbing only ever releases this client's own grabs.
    if (!refusal.isEmpty())
        ungrab(wanted);
    return refusal;
}

void X11KeyGrabber::ungrab(const Grab &existing)
{
    for (const quint16 variant : lockVariants)
        xcb_ungrab_key(m_connection, existing.keycode, m_root, existing.modifiers | variant);
    xcb_flush(m_connection);
}

// Xlib's own copy of the map is not refreshed on Qt's connection, so the
// server is asked, and searched as XKeysymToKeycode does: the first column
// of every key before the second.
quint8 X11KeyGrabber::keycodeOf(quint32 keysym) const
{
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t *mapping = xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count), nullptr);
    if (!mapping)
        return 0;
    const xcb_keysym_t *symbols = xcb_get_keyboard_mapping_keysyms(mapping);
    const int perKey = mapping->keysyms_per_keycode;
    quint8 found = 0;
    for (int column = 0; column < perKey && !found; ++column)
        for (int key = 0; key < count && !found; ++key)
            if (symbols[key * perKey + column] == keysym)
                found = quint8(setup->min_keycode + key);
    free(mapping);
    return found;
}

void X11KeyGrabber::grabAgainForTheNewKeymap()
{
    for (auto entry = m_grabs.begin(); entry != m_grabs.end(); ++entry) {
        const quint8 keycode = keycodeOf(entry->keysym);
        if (keycode == entry->keycode)
            continue;
        ungrab(*entry);
        Grab moved = *entry;
        moved.keycode = keycode;
        const QString refusal = keycode ? grab(moved) : tr("%1 is not on this keyboard layout.");
        if (refusal.isEmpty()) {
            entry->keycode = keycode;
            continue;
        }
        // Kept at its old key: held again there, should the layout come back.
        grab(*entry);
        qCWarning(lcShortcuts).noquote()
            << QStringLiteral("The shortcut %1 lost its key with the new keyboard layout: %2")
                   .arg(entry.key(), refusal.arg(QStringLiteral("its key")));
    }
}

// With no window of ours focused, what is typed now belongs to the bar
// about to open; with one focused, it reaches that window anyway.
void X11KeyGrabber::holdTypeAhead()
{
    if (QGuiApplication::focusWindow()) {
        letKeyboardGo();
        return;
    }
    m_typeAheadBound.start();
}

// Lets the server deliver what it queued since the press. Harmless when
// nothing is frozen: the server ignores it then.
void X11KeyGrabber::letKeyboardGo()
{
    m_typeAheadBound.stop();
    xcb_allow_events(m_connection, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
}

bool X11KeyGrabber::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || m_grabs.isEmpty())
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    if (m_typeAheadBound.isActive() && isFocusMove(event, m_root)) {
        letKeyboardGo();
        return false;
    }
    if (isKeymapChange(event, m_xkbFirstEvent)) {
        grabAgainForTheNewKeymap();
        return false; // Qt follows the new map too
    }
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    auto *keyEvent = reinterpret_cast<xcb_key_press_event_t *>(event);
    const quint16 state = keyEvent->state & relevantModifiers;
    // Each press of a grabbed key froze the keyboard; every path below
    // either holds it for the bar or lets it go.
    for (auto grab = m_grabs.cbegin(); grab != m_grabs.cend(); ++grab) {
        if (grab->keycode != keyEvent->detail || grab->modifiers != state)
            continue;
        if (type == XCB_KEY_RELEASE) {
            m_lastRelease.insert(keyEvent->detail, keyEvent->time);
            return true;
        }
        if (m_lastRelease.value(keyEvent->detail, 0) == keyEvent->time && keyEvent->time != 0) {
            letKeyboardGo(); // auto-repeat
            return true;
        }
        holdTypeAhead();
        Q_EMIT pressed(grab.key(), keyEvent->time);
        return true;
    }
    // A grab released meanwhile may still have frozen the keyboard at its
    // press, reported to the root or to a focused window of ours.
    if (type == XCB_KEY_PRESS)
        letKeyboardGo();
    return false;
}

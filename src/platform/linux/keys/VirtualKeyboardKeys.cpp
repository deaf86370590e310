#include "platform/linux/keys/VirtualKeyboardKeys.h"

#include "platform/linux/keys/XkbKeyboard.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace {

constexpr int answerTimeoutMs = 1000;

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

// Sends what is queued; false when the socket stayed full until the
// deadline or broke.
bool flush(wl_display *display, const QDeadlineTimer &deadline)
{
    while (wl_display_flush(display) < 0) {
        if (errno != EAGAIN)
            return false;
        pollfd socket{wl_display_get_fd(display), POLLOUT, 0};
        if (::poll(&socket, 1, remainingMs(deadline)) == 0)
            return false;
    }
    return true;
}

enum class Read { events, nothing, broken };

// Reads what the compositor sent, waiting up to `timeoutMs` for it, and
// dispatches it.
Read readEvents(wl_display *display, int timeoutMs)
{
    // Events already queued are dispatched first, and count.
    while (wl_display_prepare_read(display) != 0) {
        const int dispatched = wl_display_dispatch_pending(display);
        if (dispatched < 0)
            return Read::broken;
        if (dispatched > 0)
            return Read::events;
    }
    pollfd socket{wl_display_get_fd(display), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&socket, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        wl_display_cancel_read(display);
        return ready == 0 ? Read::nothing : Read::broken;
    }
    if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0)
        return Read::broken;
    return Read::events;
}

void syncDone(void *data, wl_callback *, uint32_t)
{
    *static_cast<bool *>(data) = true;
}

const wl_callback_listener syncListener{syncDone};

// wl_display_roundtrip with a deadline.
bool roundtrip(wl_display *display, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    bool done = false;
    wl_callback *callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &syncListener, &done);
    while (!done && flush(display, deadline) &&
           readEvents(display, remainingMs(deadline)) == Read::events) {
    }
    wl_callback_destroy(callback);
    return done;
}

struct Globals
{
    quint32 seatName = 0;
    quint32 managerName = 0;
};

void announced(void *data, wl_registry *, uint32_t name, const char *interface, uint32_t)
{
    auto *globals = static_cast<Globals *>(data);
    const QByteArray announcedInterface(interface);
    if (announcedInterface == wl_seat_interface.name && globals->seatName == 0)
        globals->seatName = name;
    else if (announcedInterface == zwp_virtual_keyboard_manager_v1_interface.name)
        globals->managerName = name;
}

void withdrawn(void *, wl_registry *, uint32_t) {}

const wl_registry_listener registryListener{announced, withdrawn};

// The keymap as the protocol hands it over: a sealed memory file holding
// the NUL-terminated text. -1 when none could be made.
int keymapFile(const QByteArray &text)
{
    const int fd = memfd_create("wrenlark-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    const QByteArray contents = text + '\0';
    qsizetype written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.constData() + written, contents.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        written += n;
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

quint32 timestampMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return quint32(quint64(now.tv_sec) * 1000 + quint64(now.tv_nsec) / 1000000);
}

} // namespace

struct VirtualKeyboardKeys::Connection
{
    wl_display *display = nullptr;
    wl_registry *registry = nullptr;
    wl_seat *seat = nullptr;
    zwp_virtual_keyboard_manager_v1 *manager = nullptr;
    zwp_virtual_keyboard_v1 *keyboard = nullptr;
    std::unique_ptr<XkbKeyboard> xkb;
    Globals globals;

    ~Connection()
    {
        if (keyboard)
            zwp_virtual_keyboard_v1_destroy(keyboard);
        if (manager)
            zwp_virtual_keyboard_manager_v1_destroy(manager);
        if (seat)
            wl_seat_destroy(seat);
        if (registry)
            wl_registry_destroy(registry);
        if (display) {
            wl_display_flush(display);
            wl_display_disconnect(display);
        }
    }

    // Why the compositor closed the connection, for the user.
    QString brokenReason() const
    {
        const wl_interface *interface = nullptr;
        if (wl_display_get_error(display) == EPROTO &&
            wl_display_get_protocol_error(display, &interface, nullptr) ==
                ZWP_VIRTUAL_KEYBOARD_MANAGER_V1_ERROR_UNAUTHORIZED &&
            interface == &zwp_virtual_keyboard_manager_v1_interface)
            return VirtualKeyboardKeys::tr(
                "The compositor does not let Wrenlark use a virtual keyboard.");
        if (wl_display_get_error(display) != 0)
            return VirtualKeyboardKeys::tr("The compositor closed Wrenlark's keyboard connection.");
        return VirtualKeyboardKeys::tr("The compositor did not answer within a second.");
    }
};

bool VirtualKeyboardKeys::isOffered(int timeoutMs)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    Connection probe;
    probe.display = wl_display_connect(nullptr);
    if (!probe.display)
        return false;
    probe.registry = wl_display_get_registry(probe.display);
    wl_registry_add_listener(probe.registry, &registryListener, &probe.globals);
    return roundtrip(probe.display, timeoutMs) && probe.globals.managerName != 0 &&
           probe.globals.seatName != 0;
}

VirtualKeyboardKeys::VirtualKeyboardKeys(QObject *parent)
    : QObject(parent)
{
}

VirtualKeyboardKeys::~VirtualKeyboardKeys()
{
    disconnect();
}

bool VirtualKeyboardKeys::isAvailable()
{
    return ensureConnected(nullptr);
}

bool VirtualKeyboardKeys::sendChord(const KeyChord &chord, QString *error)
{
    if (!ensureConnected(error))
        return false;
    const std::optional<XkbKeyboard::Plan> plan = m_connection->xkb->plan(chord, error);
    if (!plan)
        return false;
    zwp_virtual_keyboard_v1 *keyboard = m_connection->keyboard;
    // Starts from no modifiers in the key's layout, whatever a chord before
    // left.
    zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, plan->layout);
    for (const XkbKeyboard::Step &step : plan->steps) {
        zwp_virtual_keyboard_v1_key(keyboard, timestampMs(), step.key,
                                    step.pressed ? WL_KEYBOARD_KEY_STATE_PRESSED
                                                 : WL_KEYBOARD_KEY_STATE_RELEASED);
        if (step.modifiersChanged)
            zwp_virtual_keyboard_v1_modifiers(keyboard, step.modifiersDepressed, 0, 0,
                                              plan->layout);
    }
    if (!roundtrip(m_connection->display, answerTimeoutMs)) {
        const QString reason = m_connection->brokenReason();
        disconnect();
        return fail(reason, error);
    }
    m_lastError.clear();
    return true;
}

QString VirtualKeyboardKeys::mechanismDescription() const
{
    return QStringLiteral("virtual-keyboard protocol");
}

bool VirtualKeyboardKeys::ensureConnected(QString *error)
{
    if (m_connection)
        return true;
    QString reason;
    m_connection = connectToCompositor(&reason);
    if (!m_connection)
        return fail(reason, error);
    m_notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_connection->display),
                                                   QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this,
                     &VirtualKeyboardKeys::onReadable);
    m_lastError.clear();
    return true;
}

std::unique_ptr<VirtualKeyboardKeys::Connection>
VirtualKeyboardKeys::connectToCompositor(QString *error)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        *error = tr("This is not a Wayland session (WAYLAND_DISPLAY is not set).");
        return {};
    }
    auto connection = std::make_unique<Connection>();
    connection->display = wl_display_connect(nullptr);
    if (!connection->display) {
        *error = tr("The Wayland compositor (%1) cannot be reached.")
                     .arg(qEnvironmentVariable("WAYLAND_DISPLAY"));
        return {};
    }
    connection->registry = wl_display_get_registry(connection->display);
    wl_registry_add_listener(connection->registry, &registryListener, &connection->globals);
    if (!roundtrip(connection->display, answerTimeoutMs)) {
        *error = connection->brokenReason();
        return {};
    }
    const Globals &globals = connection->globals;
    if (globals.managerName == 0 || globals.seatName == 0) {
        *error = globals.managerName == 0
                     ? tr("The compositor does not offer the virtual-keyboard protocol.")
                     : tr("The compositor has no seat to type on.");
        return {};
    }
    connection->xkb = XkbKeyboard::compile({}, error);
    if (!connection->xkb)
        return {};
    connection->seat = static_cast<wl_seat *>(
        wl_registry_bind(connection->registry, globals.seatName, &wl_seat_interface, 1));
    connection->manager = static_cast<zwp_virtual_keyboard_manager_v1 *>(
        wl_registry_bind(connection->registry, globals.managerName,
                         &zwp_virtual_keyboard_manager_v1_interface, 1));
    connection->keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
        connection->manager, connection->seat);
    const int keymap = keymapFile(connection->xkb->text());
    if (keymap < 0) {
        *error = tr("The keyboard layout cannot be handed to the compositor: %1")
                     .arg(QString::fromLocal8Bit(strerror(errno)));
        return {};
    }
    // The request carries a duplicate of the descriptor.
    zwp_virtual_keyboard_v1_keymap(connection->keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, keymap,
                                   uint32_t(connection->xkb->text().size() + 1));
    ::close(keymap);
    if (!roundtrip(connection->display, answerTimeoutMs)) {
        *error = connection->brokenReason();
        return {};
    }
    return connection;
}

bool VirtualKeyboardKeys::fail(const QString &message, QString *error)
{
    m_lastError = message;
    if (error)
        *error = message;
    return false;
}

void VirtualKeyboardKeys::disconnect()
{
    m_notifier.reset();
    m_connection.reset();
}

// Keeps the socket drained while idle; a connection the compositor closed
// is dropped and opened again on the next chord.
void VirtualKeyboardKeys::onReadable()
{
    if (readEvents(m_connection->display, 0) == Read::broken) {
        m_lastError = m_connection->brokenReason();
        disconnect();
    }
}

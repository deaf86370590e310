#include "platform/linux/keys/VirtualKeyboardKeys.h"

#include "platform/linux/keys/XkbKeyboard.h"
#include "platform/linux/wayland/WaylandGlobals.h"
#include "platform/linux/wayland/WaylandRoundTrip.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

constexpr int answerTimeoutMs = 1000;
constexpr int newKeyboardSettleMs = 200;

using WaylandRoundTrip::Read;

// The first report is the seat as it was before our keyboard joined it.
void seatCapabilities(void *data, wl_seat *, uint32_t capabilities)
{
    auto *before = static_cast<std::optional<uint32_t> *>(data);
    if (!before->has_value())
        *before = capabilities;
}

void seatName(void *, wl_seat *, const char *) {}

const wl_seat_listener seatListener{seatCapabilities, seatName};

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
    WaylandGlobals globals;
    std::optional<uint32_t> seatCapabilities;

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
    const std::optional<WaylandGlobals> globals = WaylandGlobals::ofCompositor(timeoutMs);
    return globals && isOfferedBy(*globals);
}

bool VirtualKeyboardKeys::isOfferedBy(const WaylandGlobals &globals)
{
    return globals.offers(zwp_virtual_keyboard_manager_v1_interface.name) &&
           globals.offers(wl_seat_interface.name);
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
    QString unplanned;
    const std::optional<XkbKeyboard::Plan> plan = m_connection->xkb->plan(chord, &unplanned);
    if (!plan)
        return fail(unplanned, error);
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
    if (!WaylandRoundTrip::roundtrip(m_connection->display, nullptr, answerTimeoutMs)) {
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
    connection->globals.listen(connection->registry);
    if (!WaylandRoundTrip::roundtrip(connection->display, nullptr, answerTimeoutMs)) {
        *error = connection->brokenReason();
        return {};
    }
    const auto manager = connection->globals.find(zwp_virtual_keyboard_manager_v1_interface.name);
    const auto seat = connection->globals.find(wl_seat_interface.name);
    if (!manager || !seat) {
        *error = !manager ? tr("The compositor does not offer the virtual-keyboard protocol.")
                          : tr("The compositor has no seat to type on.");
        return {};
    }
    connection->xkb = XkbKeyboard::compile({}, error);
    if (!connection->xkb)
        return {};
    connection->seat = static_cast<wl_seat *>(
        wl_registry_bind(connection->registry, seat->name, &wl_seat_interface, 1));
    wl_seat_add_listener(connection->seat, &seatListener, &connection->seatCapabilities);
    connection->manager = static_cast<zwp_virtual_keyboard_manager_v1 *>(wl_registry_bind(
        connection->registry, manager->name, &zwp_virtual_keyboard_manager_v1_interface, 1));
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
    if (!WaylandRoundTrip::roundtrip(connection->display, nullptr, answerTimeoutMs)) {
        *error = connection->brokenReason();
        return {};
    }
    // A seat without a keyboard (a headless or remote session) gains one
    // with ours, and each client asks for its keyboard only once told: keys
    // sent before then are lost to it. No event says when they have.
    const bool seatHadKeyboard =
        connection->seatCapabilities.value_or(0) & WL_SEAT_CAPABILITY_KEYBOARD;
    if (!seatHadKeyboard)
        QThread::msleep(newKeyboardSettleMs);
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
    if (WaylandRoundTrip::readEvents(m_connection->display, nullptr, 0) == Read::broken) {
        m_lastError = m_connection->brokenReason();
        disconnect();
    }
}

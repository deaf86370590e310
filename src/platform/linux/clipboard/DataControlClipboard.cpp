#include "platform/linux/clipboard/DataControlClipboard.h"

#include "core/support/Logging.h"
#include "platform/linux/wayland/WaylandGlobals.h"
#include "platform/linux/wayland/WaylandRoundTrip.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

constexpr int answerTimeoutMs = 1000;
// A clipboard bigger than this is not one anybody pasted by hand.
constexpr qsizetype maxFormatBytes = 256 * 1024 * 1024;
const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");

bool isTextFormat(const QString &mimeType)
{
    return mimeType.startsWith(QLatin1String("text/")) ||
           mimeType == QLatin1String("UTF8_STRING") || mimeType == QLatin1String("STRING") ||
           mimeType == QLatin1String("TEXT");
}

// Writes bytes into a pipe a reader asked for, as fast as it reads, then
// closes it. Deletes itself.
class PipeWriter : public QObject
{
public:
    PipeWriter(int fd, QByteArray bytes, QObject *parent)
        : QObject(parent)
        , m_fd(fd)
        , m_bytes(std::move(bytes))
        , m_notifier(fd, QSocketNotifier::Write)
    {
        fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
        connect(&m_notifier, &QSocketNotifier::activated, this, &PipeWriter::writeSome);
        writeSome();
    }
    ~PipeWriter() override { ::close(m_fd); }

private:
    void writeSome()
    {
        while (m_written < m_bytes.size()) {
            const ssize_t n =
                ::write(m_fd, m_bytes.constData() + m_written, size_t(m_bytes.size() - m_written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return; // the notifier says when the reader made room
            if (n <= 0)
                break; // the reader went away
            m_written += n;
        }
        m_notifier.setEnabled(false);
        deleteLater();
    }

    int m_fd;
    QByteArray m_bytes;
    qsizetype m_written = 0;
    QSocketNotifier m_notifier;
};

} // namespace

// Reads a pipe to its end in the event loop.
class DataControlClipboard::PipeReader : public QObject
{
public:
    using Done = std::function<void(std::optional<QByteArray>)>;

    PipeReader(int fd, Done done, QObject *parent)
        : QObject(parent)
        , m_fd(fd)
        , m_done(std::move(done))
        , m_notifier(fd, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &PipeReader::readSome);
    }
    ~PipeReader() override { ::close(m_fd); }

private:
    void readSome()
    {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (n > 0 && m_bytes.size() + n <= maxFormatBytes) {
                m_bytes.append(buffer, n);
                continue;
            }
            return finish(n == 0 ? std::optional(m_bytes) : std::nullopt);
        }
    }
    void finish(std::optional<QByteArray> bytes)
    {
        m_notifier.setEnabled(false);
        Done done = std::move(m_done);
        deleteLater();
        done(std::move(bytes));
    }

    int m_fd;
    Done m_done;
    QSocketNotifier m_notifier;
    QByteArray m_bytes;
};

namespace {

using Offers = QHash<zwlr_data_control_offer_v1 *, QStringList>;

void offered(void *data, zwlr_data_control_offer_v1 *offer, const char *mimeType)
{
    (*static_cast<Offers *>(data))[offer].append(QString::fromUtf8(mimeType));
}

const zwlr_data_control_offer_v1_listener offerListener{offered};

} // namespace

// One read of the selection: a pipe per format, all at once; the last to
// end hands over the snapshot, any failure ends it without one.
class DataControlClipboard::SelectionRead : public QObject
{
public:
    SelectionRead(QStringList mimeTypes, QObject *context, ReadDone done, QObject *parent)
        : QObject(parent)
        , m_mimeTypes(std::move(mimeTypes))
        , m_formats(m_mimeTypes.size())
        , m_pending(m_mimeTypes.size())
        , m_context(context)
        , m_done(std::move(done))
    {
    }

    void receive(qsizetype index, int fd)
    {
        new PipeReader(
            fd,
            [this, index](std::optional<QByteArray> bytes) {
                if (!bytes)
                    return fail();
                m_formats[index] = {m_mimeTypes.at(index), *bytes};
                if (--m_pending == 0)
                    succeed();
            },
            this);
    }
    void fail()
    {
        if (finish())
            m_done(std::nullopt);
    }

private:
    void succeed()
    {
        PasteboardSnapshot snapshot;
        snapshot.items.append(m_formats);
        if (finish())
            m_done(snapshot);
    }
    // Once only, and only while the caller is there.
    bool finish()
    {
        if (m_finished)
            return false;
        m_finished = true;
        deleteLater();
        return !m_context.isNull();
    }

    QStringList m_mimeTypes;
    QList<PasteboardSnapshot::Format> m_formats;
    qsizetype m_pending;
    QPointer<QObject> m_context;
    ReadDone m_done;
    bool m_finished = false;
};

struct DataControlClipboard::Source
{
    DataControlClipboard *owner = nullptr;
    quint64 number = 0;
    zwlr_data_control_source_v1 *proxy = nullptr;
    QList<PasteboardSnapshot::Format> formats;
    bool fetched = false;

    ~Source()
    {
        if (proxy)
            zwlr_data_control_source_v1_destroy(proxy);
    }

    static void send(void *data, zwlr_data_control_source_v1 *, const char *mimeType, int32_t fd)
    {
        auto *source = static_cast<Source *>(data);
        source->owner->serve(source->number, QString::fromUtf8(mimeType), fd);
    }
    static void cancelled(void *data, zwlr_data_control_source_v1 *)
    {
        auto *source = static_cast<Source *>(data);
        DataControlClipboard *owner = source->owner;
        owner->m_sources.remove(source->number);
        owner->releaseWhenIdle();
    }
    static constexpr zwlr_data_control_source_v1_listener listener{send, cancelled};
};

struct DataControlClipboard::Connection
{
    wl_display *display = nullptr;
    wl_registry *registry = nullptr;
    wl_seat *seat = nullptr;
    zwlr_data_control_manager_v1 *manager = nullptr;
    zwlr_data_control_device_v1 *device = nullptr;
    WaylandGlobals globals;
    // Offers as the compositor introduces them, with their MIME types; the
    // selection is one of them, or none.
    QHash<zwlr_data_control_offer_v1 *, QStringList> offers;
    zwlr_data_control_offer_v1 *selection = nullptr;
    bool finished = false;
    std::unique_ptr<QSocketNotifier> notifier;

    ~Connection()
    {
        notifier.reset();
        for (auto offer = offers.cbegin(); offer != offers.cend(); ++offer)
            zwlr_data_control_offer_v1_destroy(offer.key());
        if (device)
            zwlr_data_control_device_v1_destroy(device);
        if (manager)
            zwlr_data_control_manager_v1_destroy(manager);
        if (seat)
            wl_seat_destroy(seat);
        if (registry)
            wl_registry_destroy(registry);
        if (display) {
            wl_display_flush(display);
            wl_display_disconnect(display);
        }
    }

    void forget(zwlr_data_control_offer_v1 *offer)
    {
        if (offer && offers.remove(offer))
            zwlr_data_control_offer_v1_destroy(offer);
    }

    static void newOffer(void *data, zwlr_data_control_device_v1 *,
                         zwlr_data_control_offer_v1 *offer)
    {
        auto *connection = static_cast<Connection *>(data);
        connection->offers.insert(offer, {});
        zwlr_data_control_offer_v1_add_listener(offer, &offerListener, &connection->offers);
    }
    // The offer before is stale now.
    static void newSelection(void *data, zwlr_data_control_device_v1 *,
                             zwlr_data_control_offer_v1 *offer)
    {
        auto *connection = static_cast<Connection *>(data);
        if (connection->selection != offer)
            connection->forget(connection->selection);
        connection->selection = offer;
    }
    // Only the regular selection is kept.
    static void newPrimarySelection(void *data, zwlr_data_control_device_v1 *,
                                    zwlr_data_control_offer_v1 *offer)
    {
        static_cast<Connection *>(data)->forget(offer);
    }
    static void deviceFinished(void *data, zwlr_data_control_device_v1 *)
    {
        static_cast<Connection *>(data)->finished = true;
    }
    static constexpr zwlr_data_control_device_v1_listener deviceListener{
        newOffer, newSelection, deviceFinished, newPrimarySelection};
};

bool DataControlClipboard::isOfferedBy(const WaylandGlobals &globals)
{
    return globals.offers(zwlr_data_control_manager_v1_interface.name) &&
           globals.offers(wl_seat_interface.name);
}

DataControlClipboard::DataControlClipboard()
{
    // A reader that goes away mid-transfer must not end this process.
    std::signal(SIGPIPE, SIG_IGN);
}

DataControlClipboard::~DataControlClipboard()
{
    m_sources.clear();
    m_connection.reset();
}

bool DataControlClipboard::isAvailable()
{
    return ensureConnected();
}

void DataControlClipboard::read(QObject *context, ReadDone done, int timeoutMs,
                                const QStringList &onlyFirstOf)
{
    if (!ensureConnected())
        return done(std::nullopt);
    // The selection as of now: a change this process made a moment ago
    // (putting the user's clipboard back) may not have come back as an
    // event yet, and the offer before it may still be served by its owner.
    if (!WaylandRoundTrip::roundtrip(m_connection->display, nullptr, answerTimeoutMs)) {
        disconnect(QStringLiteral("the compositor did not answer"));
        return done(std::nullopt);
    }
    zwlr_data_control_offer_v1 *offer = m_connection->selection;
    QStringList mimeTypes = m_connection->offers.value(offer);
    if (!onlyFirstOf.isEmpty()) {
        const auto wanted =
            std::find_if(onlyFirstOf.cbegin(), onlyFirstOf.cend(),
                         [&](const QString &type) { return mimeTypes.contains(type); });
        mimeTypes = wanted == onlyFirstOf.cend() ? QStringList() : QStringList{*wanted};
    }
    if (!offer || mimeTypes.isEmpty()) {
        releaseWhenIdle();
        return done(PasteboardSnapshot{});
    }
    auto *read = new SelectionRead(mimeTypes, context, std::move(done), this);
    ++m_readsInFlight;
    connect(read, &QObject::destroyed, this, [this] {
        --m_readsInFlight;
        releaseWhenIdle();
    });
    for (qsizetype i = 0; i < mimeTypes.size(); ++i) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return read->fail();
        zwlr_data_control_offer_v1_receive(offer, mimeTypes.at(i).toUtf8().constData(), fds[1]);
        ::close(fds[1]);
        read->receive(i, fds[0]);
    }
    if (!flush())
        return read->fail();
    QTimer::singleShot(timeoutMs, read, [read] {
        qCWarning(lcClipboard).noquote()
            << QStringLiteral("Wayland clipboard: its owner did not hand over its data in time.");
        read->fail();
    });
}

quint64 DataControlClipboard::write(const PasteboardSnapshot &snapshot, bool transient)
{
    if (!ensureConnected())
        return 0;
    auto source = std::make_shared<Source>();
    if (!snapshot.isEmpty())
        source->formats = snapshot.items.first();
    if (transient)
        source->formats.append({passwordManagerHint, QByteArrayLiteral("secret")});
    const quint64 number = ++m_lastSource;
    if (source->formats.isEmpty()) {
        zwlr_data_control_device_v1_set_selection(m_connection->device, nullptr);
    } else {
        source->owner = this;
        source->number = number;
        source->proxy = zwlr_data_control_manager_v1_create_data_source(m_connection->manager);
        zwlr_data_control_source_v1_add_listener(source->proxy, &Source::listener, source.get());
        for (const auto &[mimeType, bytes] : std::as_const(source->formats))
            zwlr_data_control_source_v1_offer(source->proxy, mimeType.toUtf8().constData());
        zwlr_data_control_device_v1_set_selection(m_connection->device, source->proxy);
        m_sources.insert(number, source);
    }
    if (!flush())
        return 0;
    return number;
}

bool DataControlClipboard::holds(quint64 source) const
{
    return source != 0 && source == m_lastSource && m_sources.contains(source);
}

bool DataControlClipboard::wasFetched(quint64 source) const
{
    const auto found = m_sources.constFind(source);
    return found == m_sources.cend() || (*found)->fetched;
}

void DataControlClipboard::watchForFetch(quint64 source)
{
    if (const auto found = m_sources.find(source); found != m_sources.end())
        (*found)->fetched = false;
}

PasteboardSnapshot DataControlClipboard::textSnapshot(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    PasteboardSnapshot snapshot;
    snapshot.items.append(
        QList<PasteboardSnapshot::Format>{{QStringLiteral("text/plain;charset=utf-8"), utf8},
                                          {QStringLiteral("text/plain"), utf8},
                                          {QStringLiteral("UTF8_STRING"), utf8},
                                          {QStringLiteral("TEXT"), utf8},
                                          {QStringLiteral("STRING"), utf8}});
    return snapshot;
}

void DataControlClipboard::serve(quint64 source, const QString &mimeType, int fd)
{
    const auto found = m_sources.constFind(source);
    if (found == m_sources.cend()) {
        ::close(fd);
        return;
    }
    const auto &formats = (*found)->formats;
    const auto format = std::find_if(formats.cbegin(), formats.cend(),
                                     [&](const auto &entry) { return entry.first == mimeType; });
    if (format == formats.cend()) {
        ::close(fd);
        return;
    }
    if (isTextFormat(mimeType))
        (*found)->fetched = true;
    new PipeWriter(fd, format->second, this);
}

bool DataControlClipboard::ensureConnected()
{
    if (m_connection && !m_connection->finished)
        return true;
    if (m_connection)
        disconnect(QStringLiteral("the compositor ended Wrenlark's clipboard device"));
    QString reason;
    m_connection = connectToCompositor(&reason);
    if (!m_connection) {
        m_lastError = reason;
        return false;
    }
    m_connection->notifier = std::make_unique<QSocketNotifier>(
        wl_display_get_fd(m_connection->display), QSocketNotifier::Read);
    connect(m_connection->notifier.get(), &QSocketNotifier::activated, this,
            &DataControlClipboard::onReadable);
    m_lastError.clear();
    return true;
}

std::unique_ptr<DataControlClipboard::Connection>
DataControlClipboard::connectToCompositor(QString *error)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        *error = QStringLiteral("not a Wayland session");
        return {};
    }
    auto connection = std::make_unique<Connection>();
    connection->display = wl_display_connect(nullptr);
    if (!connection->display) {
        *error = QStringLiteral("the compositor cannot be reached");
        return {};
    }
    connection->registry = wl_display_get_registry(connection->display);
    connection->globals.listen(connection->registry);
    if (!WaylandRoundTrip::roundtrip(connection->display, nullptr, answerTimeoutMs)) {
        *error = QStringLiteral("the compositor did not answer");
        return {};
    }
    const auto manager = connection->globals.find(zwlr_data_control_manager_v1_interface.name);
    const auto seat = connection->globals.find(wl_seat_interface.name);
    if (!manager || !seat) {
        *error = !manager
                     ? QStringLiteral("the compositor does not offer the data-control protocol")
                     : QStringLiteral("the compositor has no seat");
        return {};
    }
    connection->seat = static_cast<wl_seat *>(
        wl_registry_bind(connection->registry, seat->name, &wl_seat_interface, 1));
    connection->manager = static_cast<zwlr_data_control_manager_v1 *>(
        wl_registry_bind(connection->registry, manager->name,
                         &zwlr_data_control_manager_v1_interface, qMin(manager->version, 2u)));
    connection->device =
        zwlr_data_control_manager_v1_get_data_device(connection->manager, connection->seat);
    zwlr_data_control_device_v1_add_listener(connection->device, &Connection::deviceListener,
                                             connection.get());
    // The answer brings the selection as it is.
    if (!WaylandRoundTrip::roundtrip(connection->display, nullptr, answerTimeoutMs)) {
        *error = QStringLiteral("the compositor refused the clipboard device");
        return {};
    }
    return connection;
}

void DataControlClipboard::disconnect(const QString &reason)
{
    qCInfo(lcClipboard).noquote() << QStringLiteral("Wayland clipboard: ") + reason + u'.';
    m_lastError = reason;
    // Sources belong to the connection.
    m_sources.clear();
    m_connection.reset();
}

// Keeps the socket drained: offers, sources to serve and their end.
void DataControlClipboard::onReadable()
{
    if (WaylandRoundTrip::readEvents(m_connection->display, nullptr, 0) ==
        WaylandRoundTrip::Read::broken)
        return disconnect(QStringLiteral("the compositor closed Wrenlark's clipboard connection"));
    flush();
}

// Holding no selection and reading none, the connection only brings news of
// other clients' copies. Checked after the event that made it idle, so a
// read followed at once by a write keeps it.
void DataControlClipboard::releaseWhenIdle()
{
    QTimer::singleShot(0, this, [this] {
        if (m_connection && m_sources.isEmpty() && m_readsInFlight == 0)
            m_connection.reset();
    });
}

bool DataControlClipboard::flush()
{
    if (WaylandRoundTrip::flush(m_connection->display, QDeadlineTimer(answerTimeoutMs)))
        return true;
    disconnect(QStringLiteral("the compositor stopped taking requests"));
    return false;
}

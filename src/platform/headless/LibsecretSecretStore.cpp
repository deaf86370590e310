#include "platform/headless/LibsecretSecretStore.h"

#include <chrono>
#include <functional>
#include <libsecret/secret.h>
#include <memory>
#include <optional>

namespace {

const char contentType[] = "text/plain";

// After a call went unanswered, how long further calls fail without waiting.
constexpr qint64 unansweredQuietMilliseconds = 10000;

qint64 monotonicMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const SecretSchema *itemSchema()
{
    // Matched by the two attributes alone, so items written by other tools
    // (secret-tool store ... service com.wrenlark account openai_api_key) count.
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "com.wrenlark.Secret";
        s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

struct ObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
using AsyncResultPointer = std::unique_ptr<GAsyncResult, ObjectUnref>;

struct ErrorFree
{
    void operator()(GError *error) const { g_error_free(error); }
};
using ErrorPointer = std::unique_ptr<GError, ErrorFree>;

struct ValueUnref
{
    void operator()(SecretValue *value) const { secret_value_unref(value); }
};
using ValuePointer = std::unique_ptr<SecretValue, ValueUnref>;

SecretStore::Result failedWith(const GError *error)
{
    return SecretStore::Result::failed(error->code, QString::fromUtf8(error->message));
}

// The attribute table of one item; the strings live as long as the table.
class ItemAttributes
{
public:
    ItemAttributes(const QString &service, const QString &account)
        : m_service(service.toUtf8())
        , m_account(account.toUtf8())
        , m_table(g_hash_table_new(g_str_hash, g_str_equal))
    {
        g_hash_table_insert(m_table, const_cast<char *>("service"), m_service.data());
        g_hash_table_insert(m_table, const_cast<char *>("account"), m_account.data());
    }
    ~ItemAttributes() { g_hash_table_unref(m_table); }
    ItemAttributes(const ItemAttributes &) = delete;
    ItemAttributes &operator=(const ItemAttributes &) = delete;

    GHashTable *table() const { return m_table; }

private:
    QByteArray m_service;
    QByteArray m_account;
    GHashTable *m_table;
};

// Where an asynchronous call leaves its result. Heap-allocated so that a call
// abandoned after its time-out never writes into a dead stack frame.
struct Completion
{
    GAsyncResult *result = nullptr;
};

void storeCompletion(GObject *, GAsyncResult *result, gpointer data)
{
    static_cast<Completion *>(data)->result = G_ASYNC_RESULT(g_object_ref(result));
}

gboolean raiseFlag(gpointer flag)
{
    *static_cast<bool *>(flag) = true;
    return G_SOURCE_REMOVE;
}

// One conversation with the Secret Service under one deadline. While it lives,
// its private main context is the thread-default one, so libsecret and GDBus
// deliver every callback there and nowhere else; it is iterated only while a
// call is awaited.
//
// A call still unanswered at the deadline is left behind rather than
// cancelled: cancelling dismisses the unlock prompt it may be waiting for,
// which takes the dialog away before anyone could type the password (and made
// gnome-keyring 42 abort when its prompter had not answered yet). The prompt
// stays up, and once the user unlocks the keyring the next call succeeds. The
// abandoned call keeps its own references; its callback would be delivered to
// this context, which nobody iterates again.
class BoundedSecretCall
{
public:
    using Starter = std::function<void(GAsyncReadyCallback, gpointer)>;

    // `unansweredUntil` is shared by the calls of one store: after a call was
    // left unanswered, the calls in the next moments fail at once, so a locked
    // keyring costs one wait and not one per key.
    BoundedSecretCall(double timeoutSeconds, std::atomic<qint64> &unansweredUntil)
        : m_context(g_main_context_new())
        , m_timeoutSeconds(timeoutSeconds)
        , m_unansweredUntil(unansweredUntil)
    {
        g_main_context_push_thread_default(m_context);
        m_timedOut = monotonicMilliseconds() < m_unansweredUntil.load();
        m_deadline = attachTimeout(guint(timeoutSeconds * 1000), &m_timedOut);
    }

    ~BoundedSecretCall()
    {
        if (m_service)
            g_object_unref(m_service);
        g_source_destroy(m_deadline);
        g_source_unref(m_deadline);
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }

    BoundedSecretCall(const BoundedSecretCall &) = delete;
    BoundedSecretCall &operator=(const BoundedSecretCall &) = delete;

    // Connects to the Secret Service; false with failure() set when it fails.
    bool open(SecretServiceFlags flags = SECRET_SERVICE_NONE)
    {
        const AsyncResultPointer result =
            await([flags](GAsyncReadyCallback callback, gpointer data) {
                secret_service_open(SECRET_TYPE_SERVICE, nullptr, flags, nullptr, callback, data);
            });
        if (!result)
            return false;
        GError *error = nullptr;
        m_service = secret_service_open_finish(result.get(), &error);
        if (!m_service) {
            fail(error);
            return false;
        }
        return true;
    }

    SecretService *service() const { return m_service; }

    // Starts a call and waits for its result; null when the deadline passed
    // (the call is then abandoned) or an earlier step already failed.
    AsyncResultPointer await(const Starter &start)
    {
        if (m_timedOut || m_failure)
            return nullptr;
        auto *completion = new Completion;
        start(storeCompletion, completion);
        while (!completion->result && !m_timedOut)
            g_main_context_iteration(m_context, TRUE);
        if (!completion->result) {
            m_unansweredUntil = monotonicMilliseconds() + unansweredQuietMilliseconds;
            return nullptr; // abandoned: `completion` stays allocated for the call
        }
        AsyncResultPointer result(completion->result);
        delete completion;
        return result;
    }

    // Takes ownership of `error`.
    void fail(GError *error)
    {
        const ErrorPointer owned(error);
        m_failure = failedWith(error);
    }

    // What went wrong: the time-out or the store's own error.
    SecretStore::Result failure() const
    {
        if (m_failure)
            return *m_failure;
        return SecretStore::Result::failed(
            G_IO_ERROR_TIMED_OUT,
            QStringLiteral("No answer from the Secret Service within %1 s (a locked keyring "
                           "waits for its unlock prompt)")
                .arg(m_timeoutSeconds));
    }

private:
    GSource *attachTimeout(guint milliseconds, bool *flag)
    {
        GSource *source = g_timeout_source_new(milliseconds);
        g_source_set_callback(source, raiseFlag, flag, nullptr);
        g_source_attach(source, m_context);
        return source;
    }

    GMainContext *m_context;
    GSource *m_deadline = nullptr;
    double m_timeoutSeconds;
    std::atomic<qint64> &m_unansweredUntil;
    bool m_timedOut = false;
    std::optional<SecretStore::Result> m_failure;
    SecretService *m_service = nullptr;
};

ValuePointer secretValue(const QByteArray &payload)
{
    return ValuePointer(secret_value_new(payload.constData(), payload.size(), contentType));
}

} // namespace

LibsecretSecretStore::LibsecretSecretStore(double timeoutSeconds)
    : m_timeoutSeconds(timeoutSeconds)
{
}

SecretStore::Result LibsecretSecretStore::copyMatching(const QString &service,
                                                       const QString &account)
{
    BoundedSecretCall call(m_timeoutSeconds, m_unansweredUntil);
    if (!call.open())
        return call.failure();
    const ItemAttributes attributes(service, account);
    const auto result = call.await([&](GAsyncReadyCallback callback, gpointer data) {
        secret_service_lookup(call.service(), itemSchema(), attributes.table(), nullptr, callback,
                              data);
    });
    if (!result)
        return call.failure();
    GError *error = nullptr;
    const ValuePointer value(secret_service_lookup_finish(call.service(), result.get(), &error));
    if (error) {
        call.fail(error);
        return call.failure();
    }
    if (!value)
        return Result::notFound();
    gsize length = 0;
    const gchar *bytes = secret_value_get(value.get(), &length);
    return Result::ok(QByteArray(bytes, qsizetype(length)));
}

SecretStore::Result LibsecretSecretStore::update(const QString &service, const QString &account,
                                                 const QByteArray &payload)
{
    BoundedSecretCall call(m_timeoutSeconds, m_unansweredUntil);
    if (!call.open())
        return call.failure();
    const ItemAttributes attributes(service, account);
    const auto found = call.await([&](GAsyncReadyCallback callback, gpointer data) {
        const auto flags = SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK);
        secret_service_search(call.service(), itemSchema(), attributes.table(), flags, nullptr,
                              callback, data);
    });
    if (!found)
        return call.failure();
    GError *error = nullptr;
    GList *items = secret_service_search_finish(call.service(), found.get(), &error);
    if (error) {
        call.fail(error);
        return call.failure();
    }
    if (!items)
        return Result::notFound();

    // Normally one item; should another program have made duplicates, all of
    // them get the new value so a later read cannot pick a stale one.
    const ValuePointer value = secretValue(payload);
    Result outcome = Result::ok();
    for (GList *node = items; node && outcome.status == Status::success; node = node->next) {
        auto *item = static_cast<SecretItem *>(node->data);
        const auto stored = call.await([&](GAsyncReadyCallback callback, gpointer data) {
            secret_item_set_secret(item, value.get(), nullptr, callback, data);
        });
        if (!stored) {
            outcome = call.failure();
        } else if (!secret_item_set_secret_finish(item, stored.get(), &error)) {
            call.fail(error);
            outcome = call.failure();
        }
    }
    g_list_free_full(items, g_object_unref);
    return outcome;
}

SecretStore::Result LibsecretSecretStore::add(const QString &service, const QString &account,
                                              const QByteArray &payload)
{
    BoundedSecretCall call(m_timeoutSeconds, m_unansweredUntil);
    if (!call.open())
        return call.failure();
    const ItemAttributes attributes(service, account);
    const ValuePointer value = secretValue(payload);
    // The Secret Service requires a label; it names the item in keyring managers.
    const QByteArray label = (account + QStringLiteral(" (") + service + u')').toUtf8();
    const auto result = call.await([&](GAsyncReadyCallback callback, gpointer data) {
        secret_service_store(call.service(), itemSchema(), attributes.table(),
                             SECRET_COLLECTION_DEFAULT, label.constData(), value.get(), nullptr,
                             callback, data);
    });
    if (!result)
        return call.failure();
    GError *error = nullptr;
    if (!secret_service_store_finish(call.service(), result.get(), &error)) {
        call.fail(error);
        return call.failure();
    }
    return Result::ok();
}

SecretStore::Result LibsecretSecretStore::remove(const QString &service, const QString &account)
{
    BoundedSecretCall call(m_timeoutSeconds, m_unansweredUntil);
    if (!call.open())
        return call.failure();
    const ItemAttributes attributes(service, account);
    const auto result = call.await([&](GAsyncReadyCallback callback, gpointer data) {
        secret_service_clear(call.service(), itemSchema(), attributes.table(), nullptr, callback,
                             data);
    });
    if (!result)
        return call.failure();
    GError *error = nullptr;
    const bool removed = secret_service_clear_finish(call.service(), result.get(), &error);
    if (error) {
        call.fail(error);
        return call.failure();
    }
    return removed ? Result::ok() : Result::notFound();
}

bool LibsecretSecretStore::isAvailable()
{
    BoundedSecretCall call(m_timeoutSeconds, m_unansweredUntil);
    return call.open(SECRET_SERVICE_OPEN_SESSION);
}

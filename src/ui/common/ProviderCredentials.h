#pragma once

#include "core/providers/AIProviderRegistry.h"
#include "ui/common/SerialWorkQueue.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class ProviderAccount;
class SettingsStore;

// What the keyring holds for the providers, as a window shows it.
struct ProviderCredentialSnapshot
{
    QHash<QString, QString> apiKeys;      // provider id → stored key ("" when none)
    QHash<QString, bool> hasValidConfig;  // provider id → usable now
    QHash<QString, QString> storedModels; // provider id → the stored model text ("" when none)
    std::optional<QString> connectionSummary; // the subscription account; none when not connected
};

// Storing one provider's key (and, when given, its model).
struct ProviderSaveRequest
{
    QString providerID;
    std::optional<QString> apiKey; // as it is to be stored (trimmed, checked); none: left alone
    std::optional<QString> model;
};

struct ProviderSaveResult
{
    QUuid requestID;
    QString providerID;
    bool wasValid = false;
    bool isValid = false;
    // The keyring holds what was asked; false when it is locked or not running.
    bool stored = true;
};

// The windows' door to the keyring: every read and write of keys and of the
// subscription session runs on a worker thread, in order, and answers on the
// main thread. A window's event loop never waits for the keyring, which may
// be locked behind an unlock prompt nobody answers.
//
// Saves of one provider queued faster than the keyring answers are folded
// into the latest, which is the one whose answer carries its request id.
class ProviderCredentials : public QObject
{
    Q_OBJECT

public:
    using StoreFactory = std::function<std::unique_ptr<SettingsStore>()>;

    // `makeStore` is called on the worker thread, once per request.
    ProviderCredentials(StoreFactory makeStore, const AIProviderRegistry &registry,
                        QObject *parent = nullptr);

    QUuid load();
    QUuid save(const ProviderSaveRequest &request);
    // Deletes the stored subscription session.
    QUuid disconnectSession();
    // Blocks until every queued request has run (application exit, tests).
    void waitForDone() { m_queue.waitForDone(); }

Q_SIGNALS:
    void loaded(const QUuid &requestID, const ProviderCredentialSnapshot &snapshot);
    void saved(const ProviderSaveResult &result);
    void sessionDisconnected(const QUuid &requestID);

private:
    struct PendingSave
    {
        QUuid requestID;
        ProviderSaveRequest request;
    };

    ProviderSaveResult runSave(const QString &providerID);

    StoreFactory m_makeStore;
    const AIProviderRegistry &m_registry;
    ProviderAccount &m_account;
    QMutex m_pendingLock; // guards m_pending, shared with the worker
    QHash<QString, PendingSave> m_pending;
    SerialWorkQueue m_queue;
};

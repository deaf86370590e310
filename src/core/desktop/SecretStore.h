#pragma once

#include <QByteArray>
#include <QString>

// The desktop's secure per-user credential store: one byte payload per
// (service, account) pair. Implementations must answer "not found" distinctly
// from failures, give a code and a text for failures, be callable from any
// thread, and never block for longer than a bounded time (a locked store
// whose unlock prompt nobody answers counts as a failure).
class SecretStore
{
public:
    enum class Status { success, itemNotFound, failure };

    struct Result
    {
        Status status = Status::failure;
        QByteArray payload; // for copyMatching
        int code = 0;       // the store's own failure code
        QString message;    // the store's text for it; empty when it has none

        static Result ok(QByteArray payload = {})
        {
            return {Status::success, std::move(payload), 0, {}};
        }
        static Result notFound() { return {Status::itemNotFound, {}, 0, {}}; }
        static Result failed(int code, QString message)
        {
            return {Status::failure, {}, code, std::move(message)};
        }
    };

    virtual ~SecretStore() = default;

    virtual Result copyMatching(const QString &service, const QString &account) = 0;
    // itemNotFound when there is no item to update.
    virtual Result update(const QString &service, const QString &account,
                          const QByteArray &payload) = 0;
    virtual Result add(const QString &service, const QString &account,
                       const QByteArray &payload) = 0;
    virtual Result remove(const QString &service, const QString &account) = 0;

    // Whether a store answers at all on this desktop (for diagnostics).
    virtual bool isAvailable() = 0;
};

#pragma once

#include <QString>
#include <memory>

// The desktop's way of starting the application when the user logs in.
class LoginItemService
{
public:
    enum class Status {
        notRegistered,    // the application is not started at login
        enabled,          // it is
        requiresApproval, // an entry exists but the desktop does not start it
        notFound,         // the application's own executable cannot be located
    };

    // The argument the login item starts the application with, so it knows
    // nobody asked for a window.
    static inline const QString startedAtLoginArgument = QStringLiteral("--started-at-login");

    virtual ~LoginItemService() = default;

    virtual Status status() = 0;
    // Both return false and describe the failure in `errorDescription` when
    // they could not do their work.
    virtual bool registerItem(QString *errorDescription) = 0;
    virtual bool unregisterItem(QString *errorDescription) = 0;
};

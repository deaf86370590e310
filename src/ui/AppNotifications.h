#pragma once

#include <QObject>
#include <QString>

// The application-wide notifications the windows and the shell exchange,
// as signals of one object that lives on the main thread.
class AppNotifications : public QObject
{
    Q_OBJECT

public:
    static AppNotifications &shared();

Q_SIGNALS:
    // The user finished the setup window.
    void onboardingCompleted();
    // The Settings window is about to close;
    // whatever is being edited there must be stored now.
    void preferencesWillClose();

private:
    AppNotifications() = default;
};

#pragma once

#include <QObject>
#include <QString>

// The application-wide notifications the windows and the shell exchange,
// as signals of one object that lives on the main thread.
class AppNotifications : public QObject
{
    Q_OBJECT

public:
    static inline const QString onboardingCompletedName =
        QStringLiteral("wrenlarkOnboardingCompleted");
    static inline const QString preferencesWillCloseName =
        QStringLiteral("wrenlarkPreferencesWillClose");

    static AppNotifications &shared();

Q_SIGNALS:
    // "wrenlarkOnboardingCompleted": the user finished the setup window.
    void onboardingCompleted();
    // "wrenlarkPreferencesWillClose": the Settings window is about to close;
    // whatever is being edited there must be stored now.
    void preferencesWillClose();

private:
    AppNotifications() = default;
};

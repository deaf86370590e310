#include "cli/SignOutCommand.h"

#include "cli/ProviderArgument.h"
#include "cli/Terminal.h"
#include "core/analytics/AnalyticsSignal.h"
#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"

namespace {

int runSignOut(const QStringList &arguments, const std::shared_ptr<SecretStore> &secrets)
{
    if (!arguments.isEmpty()) {
        Terminal::printError(QStringLiteral("wrenlark signout: takes no arguments"));
        return ExitStatus::usage;
    }
    OpenAIProPlusAuthManager &manager = OpenAIProPlusAuthManager::shared();
    manager.disconnect();
    // A keyring that refused the deletion still holds the session.
    if (manager.storedSession()) {
        const QString note = secretStoreUnavailableNote(manager.keychain());
        Terminal::printError(
            QStringLiteral("The OpenAI Pro/Plus session could not be deleted from the keyring.") +
            (note.isEmpty() ? QString() : u'\n' + note));
        return ExitStatus::failure;
    }
    AppAnalytics &analytics = AppAnalytics::createShared(secrets, AIProviderRegistry::shared());
    analytics.initialize();
    analytics.signal(AnalyticsSignal::providerDisconnected,
                     {{AnalyticsParameter::providerID, QStringLiteral("openai-pro-plus")},
                      {AnalyticsParameter::location, QStringLiteral("cli")}});
    analytics.shutdown();
    Terminal::writeOutput(QStringLiteral("Signed out of OpenAI Pro/Plus.\n"));
    return ExitStatus::success;
}

} // namespace

CliCommand signOutCommand(std::shared_ptr<SecretStore> secrets)
{
    return {
        QStringLiteral("signout"),
        QString(),
        QStringLiteral("Disconnect the OpenAI Pro/Plus account."),
        QStringLiteral("Deletes the stored OpenAI Pro/Plus session from your keyring, as\n"
                       "Disconnect in Settings does.\n"
                       "\n"
                       "Exit status: 0 when no session is stored any more, 1 when the keyring\n"
                       "refused, 2 for unusable arguments."),
        [secrets](const QStringList &arguments) { return runSignOut(arguments, secrets); },
    };
}

#include "cli/SignInCommand.h"

#include "cli/InterruptWatcher.h"
#include "cli/ProviderArgument.h"
#include "cli/Terminal.h"
#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/auth/OpenAIProPlusAuthReply.h"
#include "platform/headless/XdgUrlOpener.h"

#include <QEventLoop>
#include <memory>

namespace {

const QString providerID = QStringLiteral("openai-pro-plus");

// Shows every page it opens on standard error too, so a terminal without a
// browser (a remote shell) can still copy the address.
class TerminalUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override
    {
        Terminal::printError(QStringLiteral("Opening in your browser: ") +
                             url.toString(QUrl::FullyEncoded));
        return m_browser.openUrl(url);
    }

private:
    XdgUrlOpener m_browser;
};

void trackSignedIn(const std::shared_ptr<SecretStore> &secrets)
{
    AppAnalytics &analytics = AppAnalytics::createShared(secrets, AIProviderRegistry::shared());
    analytics.initialize();
    analytics.trackProviderConfigured(providerID, QStringLiteral("cli"),
                                      ProviderAuthenticationMode::oauth);
    analytics.shutdown();
}

int reportOutcome(const OpenAIProPlusAuthReply &reply, OpenAIProPlusAuthManager &manager,
                  const std::shared_ptr<SecretStore> &secrets)
{
    switch (reply.state()) {
    case OpenAIProPlusAuthReply::State::succeeded:
        break;
    case OpenAIProPlusAuthReply::State::failed:
        Terminal::printError(reply.error()->errorDescription());
        return ExitStatus::failure;
    case OpenAIProPlusAuthReply::State::cancelled:
    case OpenAIProPlusAuthReply::State::running:
        Terminal::printError(QStringLiteral("Sign-in canceled."));
        return ExitStatus::interrupted;
    }
    // What Settings will show comes from the keyring, not from the reply.
    const auto summary = manager.connectionSummary();
    if (!summary) {
        const QString note = secretStoreUnavailableNote(manager.keychain());
        Terminal::printError(
            QStringLiteral("Signed in, but the session could not be stored in the keyring.") +
            (note.isEmpty() ? QString() : u'\n' + note));
        return ExitStatus::failure;
    }
    trackSignedIn(secrets);
    Terminal::writeOutput(QStringLiteral("Signed in to OpenAI Pro/Plus: ") + *summary + u'\n');
    return ExitStatus::success;
}

int runSignIn(const QStringList &arguments, const std::shared_ptr<SecretStore> &secrets)
{
    if (!arguments.isEmpty()) {
        Terminal::printError(QStringLiteral("wrenlark signin: takes no arguments"));
        return ExitStatus::usage;
    }
    TerminalUrlOpener browser;
    InterruptWatcher interrupt;
    OpenAIProPlusAuthManager &manager = OpenAIProPlusAuthManager::shared();
    const std::unique_ptr<OpenAIProPlusAuthReply> reply(manager.authorizeInteractive(
        browser, [](const QString &text) { Terminal::printError(text); }));
    QEventLoop loop;
    QObject::connect(reply.get(), &OpenAIProPlusAuthReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, reply.get(),
                     &OpenAIProPlusAuthReply::cancel);
    if (!reply->isFinished())
        loop.exec();
    return reportOutcome(*reply, manager, secrets);
}

} // namespace

CliCommand signInCommand(std::shared_ptr<SecretStore> secrets)
{
    return {
        QStringLiteral("signin"),
        QString(),
        QStringLiteral("Sign in to an OpenAI Pro/Plus account in the browser."),
        QStringLiteral(
            "Opens the OpenAI sign-in page in your browser and waits (up to five minutes)\n"
            "for it to send you back to Wrenlark on http://localhost:1455. When another\n"
            "program uses that port, a device code is printed instead: enter it on the\n"
            "page that opens. The session is stored in your keyring; requests refresh it\n"
            "when it is about to expire. Progress and the device code go to standard\n"
            "error; the account signed in to goes to standard output.\n"
            "\n"
            "Exit status: 0 when signed in, 1 when the sign-in failed, 2 for unusable\n"
            "arguments, 130 after Ctrl+C."),
        [secrets](const QStringList &arguments) { return runSignIn(arguments, secrets); },
    };
}

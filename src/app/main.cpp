// `wrenlark`: the command line. It links Qt Core, Network and D-Bus and the
// core, loads the keyring client when a command reads a key, and hands the resident application and
// the commands that work with the desktop over to `wrenlark-desktop` (cli/DesktopPart.h).
#include "ProcessHardening.h"
#include "cli/CommandLine.h"
#include "cli/DesktopPart.h"
#include "core/ai/NetworkProxies.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/support/AppMetadata.h"
#include "core/support/FileLogger.h"
#include "platform/headless/DeferredSecretStore.h"
#include "platform/headless/PortalProxyResolver.h"

#include <QCoreApplication>
#include <memory>

int main(int argc, char *argv[])
{
    if (DesktopPart::handlesRun(argc, argv))
        return DesktopPart::exec(argv);

    // Before any key is read from the keyring or standard input.
    ProcessHardening::keepSecretsOutOfCoreDumps();
    // A command-line run keeps its own log, so it never replaces the desktop
    // application's.
    FileLogger::installMessageSink();
    FileLogger::setLogFileName(QStringLiteral("cli.log"));
    NetworkProxies::useSystemSettings(PortalProxyResolver::desktopLookup());

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wrenlark"));
    QCoreApplication::setApplicationVersion(AppMetadata::versionWithBuild());
    const auto secrets = std::make_shared<DeferredSecretStore>(
        QString::fromStdString(DesktopPart::privateFilePath("wrenlark-keyring.so")));
    OpenAIProPlusAuthManager::createShared(secrets);
    return CommandLine::run(QCoreApplication::arguments(), secrets);
}

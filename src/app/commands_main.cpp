// wrenlark-commands.so: the command line's commands, which `wrenlark`
// (main.cpp) loads for every run it neither answers itself nor hands over to
// the desktop part. It links Qt Network, the core and simdjson; the keyring
// client is a module of its own again, loaded when a command reads a key.
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

extern "C" Q_DECL_EXPORT int wrenlark_command_line(int argc, char *argv[])
{
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

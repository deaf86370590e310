// `wrenlark-desktop`: the resident application and the commands that work
// with the desktop. Users run `wrenlark`, which hands these runs over
// (cli/DesktopPart.h); run by hand, it does everything `wrenlark` does.
#include "ProcessHardening.h"
#include "cli/CommandLine.h"
#include "cli/DesktopPart.h"
#include "cli/DesktopSelection.h"
#include "cli/DoctorCommand.h"
#include "core/ai/NetworkProxies.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/support/AppMetadata.h"
#include "core/support/FileLogger.h"
#include "core/support/WrenlarkCommand.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "platform/headless/PortalProxyResolver.h"
#include "platform/linux/session/DisplayReachability.h"
#include "shell/WrenlarkApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>

namespace {

// A display that cannot be opened would stop the program in Qt.
void dropUnreachableDisplays()
{
    for (const QString &sentence : DisplayReachability::dropUnreachableDisplays())
        std::fprintf(stderr, "wrenlark: %s\n", qPrintable(sentence));
}

DesktopCommands desktopCommands(const std::shared_ptr<SecretStore> &secrets)
{
    return {
        [secrets] { return DoctorChecks::run(secrets); },
        DesktopSelection::read,
        DesktopSelection::replace,
    };
}

} // namespace

int main(int argc, char *argv[])
{
    // Named as users start it: system monitors and `killall wrenlark` see
    // "wrenlark", not this executable's name cut to 15 characters.
    prctl(PR_SET_NAME, "wrenlark");
    WrenlarkCommand::adoptHandedOverPath();
    // Before any key is read from the keyring or standard input.
    ProcessHardening::keepSecretsOutOfCoreDumps();
    // From here on the logging categories write to the log file. The first
    // message creates it, so a command-line run still names its own below.
    FileLogger::installMessageSink();
    NetworkProxies::useSystemSettings(PortalProxyResolver::desktopLookup());
    bool startedAtLogin = false;
    if (DesktopPart::startsResidentApplication(argc, argv, &startedAtLogin)) {
        dropUnreachableDisplays();
        if (!WrenlarkApp::hasDesktopSession()) {
            std::fputs(WrenlarkApp::missingDesktopMessage(), stderr);
            return 1;
        }
        return WrenlarkApp::run(argc, argv, startedAtLogin);
    }

    // Before anything logs: a command-line run keeps its own log, so it never
    // replaces the desktop application's.
    FileLogger::setLogFileName(QStringLiteral("cli.log"));

    // Commands that work with the desktop (its clipboard, keyboard and tray)
    // need a QApplication on the X11 display; the others need no display.
    std::unique_ptr<QCoreApplication> app;
    const bool needsDesktop = DesktopPart::needsDesktop(argc, argv);
    if (needsDesktop)
        dropUnreachableDisplays();
    if (needsDesktop && DesktopSelection::hasDisplay()) {
        DesktopSelection::prepareDesktop();
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("wrenlark"));
    QCoreApplication::setApplicationVersion(AppMetadata::versionWithBuild());
    const auto secrets = std::make_shared<LibsecretSecretStore>();
    OpenAIProPlusAuthManager::createShared(secrets);

    if (argc == 3 && QByteArray(argv[1]) == DesktopPart::keepClipboardCommand)
        return DesktopSelection::keepClipboard(QString::fromLocal8Bit(argv[2]));
    return CommandLine::run(QCoreApplication::arguments(), secrets, desktopCommands(secrets));
}

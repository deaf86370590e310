#include "cli/CommandLine.h"
#include "core/desktop/KeychainStore.h"
#include "core/support/AppMetadata.h"
#include "core/support/FileLogger.h"
#include "platform/linux/LibsecretSecretStore.h"

#include <QCoreApplication>
#include <memory>

int main(int argc, char *argv[])
{
    // Before anything logs: a command-line run keeps its own log, so it never
    // replaces the desktop application's.
    FileLogger::setLogFileName(QStringLiteral("cli.log"));

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wrenlark"));
    QCoreApplication::setApplicationVersion(AppMetadata::versionWithBuild());
    KeychainStore::setDefaultBackend(std::make_shared<LibsecretSecretStore>());

    return CommandLine::run(QCoreApplication::arguments());
}

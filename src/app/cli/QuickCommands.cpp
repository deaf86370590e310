#include "cli/QuickCommands.h"

#include "cli/ApplicationCall.h"
#include "cli/CliCommand.h"
#include "cli/Terminal.h"
#include "core/support/AppMetadata.h"
#include "core/support/FileLogger.h"

#include <QCoreApplication>
#include <string_view>

namespace QuickCommands {

namespace {

bool isVersion(std::string_view argument)
{
    return argument == "--version" || argument == "-v" || argument == "version";
}

bool isToggle(std::string_view argument)
{
    return argument == "toggle" || argument == "--toggle";
}

} // namespace

bool handles(int argc, char *argv[])
{
    return argc == 2 && (isVersion(argv[1]) || isToggle(argv[1]));
}

int run(int argc, char *argv[])
{
    if (isVersion(argv[1]))
        return printVersion();
    FileLogger::installMessageSink();
    FileLogger::setLogFileName(QStringLiteral("cli.log"));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wrenlark"));
    QCoreApplication::setApplicationVersion(AppMetadata::versionWithBuild());
    return toggle({});
}

int printVersion()
{
    Terminal::writeOutput(QStringLiteral("wrenlark ") + AppMetadata::versionWithBuild() + u'\n');
    return ExitStatus::success;
}

int toggle(const QStringList &arguments)
{
    return ApplicationCall::withoutArguments(QStringLiteral("toggle"), arguments,
                                             QStringLiteral("Toggle"), true);
}

} // namespace QuickCommands

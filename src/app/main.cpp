// `wrenlark`: the command line. It answers `--version` and `toggle` itself
// (cli/QuickCommands.h) with Qt Core and D-Bus alone; the other commands are
// the module wrenlark-commands.so (commands_main.cpp), and the resident
// application and the commands that work with the desktop are
// `wrenlark-desktop` (cli/DesktopPart.h).
#include "cli/CliCommand.h"
#include "cli/DesktopPart.h"
#include "cli/QuickCommands.h"

#include <QLibrary>
#include <cstdio>

namespace {

int runCommandLine(int argc, char *argv[])
{
    QLibrary module(QString::fromStdString(DesktopPart::privateFilePath("wrenlark-commands.so")));
    using Entry = int (*)(int, char *[]);
    const auto entry = reinterpret_cast<Entry>(module.resolve("wrenlark_command_line"));
    if (!entry) {
        std::fprintf(stderr, "wrenlark: cannot load its commands: %s\n",
                     qPrintable(module.errorString()));
        return ExitStatus::failure;
    }
    return entry(argc, argv);
}

} // namespace

int main(int argc, char *argv[])
{
    if (DesktopPart::handlesRun(argc, argv))
        return DesktopPart::exec(argv);
    if (QuickCommands::handles(argc, argv))
        return QuickCommands::run(argc, argv);
    return runCommandLine(argc, argv);
}

#pragma once

#include "cli/CliCommand.h"

#include <QList>
#include <QStringList>
#include <optional>

// `wrenlark` on the command line: picks the command named by the first
// argument and runs it. Needs a QCoreApplication.
namespace CommandLine {

// `arguments` as QCoreApplication::arguments() gives them (program first).
int run(const QStringList &arguments, const DesktopCommands &desktop = {});

// Every registered command, in the order the help lists them.
QList<CliCommand> commands(const DesktopCommands &desktop = {});
bool hasCommand(const QString &name);

QString helpText();
QString commandHelpText(const CliCommand &command);

} // namespace CommandLine

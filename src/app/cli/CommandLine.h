#pragma once

#include "cli/CliCommand.h"

#include <QList>
#include <QStringList>
#include <memory>
#include <optional>

class SecretStore;

// `wrenlark` on the command line: picks the command named by the first
// argument and runs it. Needs a QCoreApplication.
namespace CommandLine {

// `arguments` as QCoreApplication::arguments() gives them (program first);
// `secrets` is the desktop's secret store, where the settings keep keys.
int run(const QStringList &arguments, std::shared_ptr<SecretStore> secrets,
        const DesktopCommands &desktop = {});

// Every registered command, in the order the help lists them. Only the
// commands of run() are given the secret store; listing needs none.
QList<CliCommand> commands(const std::shared_ptr<SecretStore> &secrets = {},
                           const DesktopCommands &desktop = {});
bool hasCommand(const QString &name);

QString helpText();
QString commandHelpText(const CliCommand &command);

} // namespace CommandLine

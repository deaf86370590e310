#include "cli/CommandLine.h"

#include "cli/AskCommand.h"
#include "cli/DoctorCommand.h"
#include "cli/KeyCommand.h"
#include "cli/ManualPage.h"
#include "cli/ProvidersCommand.h"
#include "cli/QuickCommands.h"
#include "cli/ShellCommands.h"
#include "cli/ShellCompletion.h"
#include "cli/SignInCommand.h"
#include "cli/SignOutCommand.h"
#include "cli/Terminal.h"

#include <algorithm>
#include <optional>

namespace CommandLine {

// The commands of `wrenlark`, in the order `wrenlark --help` lists them.
//
// To add a command: write <Name>Command.h/.cpp in this folder with a function
// that returns its CliCommand (name, arguments, summary, details and the run
// function; see AskCommand.cpp), include the header above and add the
// function to this list. The run function gets the arguments after the
// command's name and returns an ExitStatus; `--help` after the name is
// answered here from the command's texts. Commands write results to standard
// output and messages to standard error (Terminal.h), log through lcCli
// (core/support/Logging.h; the command line's own log file, cli.log) and may
// run a local event loop (InterruptWatcher turns Ctrl+C into a cancellation).
QList<CliCommand> commands(const std::shared_ptr<SecretStore> &secrets,
                           const DesktopCommands &desktop)
{
    return {
        askCommand(secrets, desktop),
        keyCommand(secrets),
        providersCommand(secrets),
        signInCommand(secrets),
        signOutCommand(secrets),
        doctorCommand(secrets, desktop),
        toggleCommand(),
        runCommand(secrets),
        preferencesCommand(),
        captureCommand(),
        quitCommand(),
    };
}

namespace {

std::optional<CliCommand> findCommand(const QString &name,
                                      const std::shared_ptr<SecretStore> &secrets = {},
                                      const DesktopCommands &desktop = {})
{
    const QList<CliCommand> all = commands(secrets, desktop);
    const auto found = std::find_if(
        all.begin(), all.end(), [&](const CliCommand &command) { return command.name == name; });
    return found == all.end() ? std::nullopt : std::optional<CliCommand>(*found);
}

bool isHelpOption(const QString &argument)
{
    return argument == QStringLiteral("--help") || argument == QStringLiteral("-h");
}

int printHelp(const QStringList &topics)
{
    if (topics.isEmpty()) {
        Terminal::writeOutput(helpText());
        return ExitStatus::success;
    }
    const auto command = findCommand(topics.first());
    if (!command) {
        Terminal::printError(QStringLiteral("wrenlark: no such command: ") + topics.first());
        return ExitStatus::usage;
    }
    Terminal::writeOutput(commandHelpText(*command));
    return ExitStatus::success;
}

// For the build: the manual page and the completion scripts are made from
// the command table.
std::optional<int> printGeneratedFile(const QStringList &arguments)
{
    if (arguments.value(0) == QStringLiteral("--manual-page") && arguments.size() == 1) {
        Terminal::writeOutput(ManualPage::text());
        return ExitStatus::success;
    }
    if (arguments.value(0) != QStringLiteral("--completion"))
        return std::nullopt;
    const auto script = ShellCompletion::script(arguments.value(1));
    if (!script || arguments.size() != 2) {
        Terminal::printError(QStringLiteral("Usage: wrenlark --completion bash|zsh|fish"));
        return ExitStatus::usage;
    }
    Terminal::writeOutput(*script);
    return ExitStatus::success;
}

} // namespace

bool hasCommand(const QString &name)
{
    return findCommand(name).has_value();
}

QString helpText()
{
    QString text = QStringLiteral(
        "Usage: wrenlark COMMAND [ARGUMENTS...]\n"
        "       wrenlark            (starts the Wrenlark application on your desktop)\n"
        "\n"
        "Wrenlark sends an instruction, and the text you selected, to the AI provider\n"
        "you configured, and gives you the reply.\n"
        "\n"
        "Commands:\n");
    qsizetype width = 0;
    for (const CliCommand &command : commands())
        width = std::max(width, command.name.size());
    for (const CliCommand &command : commands())
        text +=
            QStringLiteral("  %1  %2\n").arg(command.name.leftJustified(width), command.summary);
    text += QStringLiteral(
        "\n"
        "Options:\n"
        "  -h, --help     Show this help; `wrenlark help COMMAND` shows a command's help.\n"
        "  -v, --version  Show the version.\n"
        "\n"
        "Settings are shared with the desktop application: %1\n"
        "API keys are kept in the Secret Service (your desktop's keyring).\n");
    return text.arg(QStringLiteral("$XDG_CONFIG_HOME/Wrenlark/Wrenlark.conf"));
}

QString commandHelpText(const CliCommand &command)
{
    QString text = QStringLiteral("Usage: wrenlark %1 %2\n\n%3\n")
                       .arg(command.name, command.arguments, command.summary);
    if (!command.details.isEmpty())
        text += u'\n' + command.details + u'\n';
    return text;
}

int run(const QStringList &arguments, std::shared_ptr<SecretStore> secrets,
        const DesktopCommands &desktop)
{
    QStringList rest = arguments.mid(1);
    // The spelling desktops' keyboard settings are often shown.
    if (!rest.isEmpty() && rest.first() == QStringLiteral("--toggle"))
        rest.first() = QStringLiteral("toggle");
    if (rest.isEmpty())
        return printHelp({});
    const QString &first = rest.first();
    if (isHelpOption(first) || first == QStringLiteral("help"))
        return printHelp(rest.mid(1));
    if (first == QStringLiteral("--version") || first == QStringLiteral("-v") ||
        first == QStringLiteral("version"))
        return QuickCommands::printVersion();
    if (const auto status = printGeneratedFile(rest))
        return *status;

    const auto command = findCommand(first, secrets, desktop);
    if (!command) {
        Terminal::printError(QStringLiteral("wrenlark: unknown command or option: %1\n"
                                            "Run `wrenlark --help` to see the commands.")
                                 .arg(first));
        return ExitStatus::usage;
    }
    const QStringList commandArguments = rest.mid(1);
    if (!commandArguments.isEmpty() && isHelpOption(commandArguments.first())) {
        Terminal::writeOutput(commandHelpText(*command));
        return ExitStatus::success;
    }
    return command->run(commandArguments);
}

} // namespace CommandLine

#include "cli/ShellCommands.h"

#include "cli/ApplicationCall.h"
#include "cli/QuickCommands.h"
#include "cli/Terminal.h"
#include "core/settings/SettingsStore.h"
#include "shell/ActivationRequest.h"

namespace {

int runSavedCommand(const QStringList &arguments, const std::shared_ptr<SecretStore> &secrets)
{
    if (arguments.size() != 1) {
        Terminal::printError(QStringLiteral("wrenlark run: takes one saved command's shorthand"));
        return ExitStatus::usage;
    }
    const QString shorthand = arguments.first().trimmed();
    if (!SettingsStore(secrets).resolveCommand(shorthand)) {
        Terminal::printError(QStringLiteral("wrenlark run: no saved command \"%1\"; the saved "
                                            "commands are in Settings → Commands.")
                                 .arg(shorthand));
        return ExitStatus::usage;
    }
    return ApplicationCall::call(QStringLiteral("run"), QStringLiteral("RunCommand"),
                                 {shorthand, ActivationRequest::platformDataFromEnvironment()},
                                 true);
}

const QString busNote =
    QStringLiteral("It talks to the running Wrenlark over the D-Bus session bus (the name\n"
                   "com.wrenlark.Wrenlark); without a session bus it fails at once.");

} // namespace

CliCommand toggleCommand()
{
    return {
        QStringLiteral("toggle"),
        QString(),
        QStringLiteral("Open the command bar, or close it when it is open."),
        QStringLiteral("Does what the global shortcut does, so any desktop can bind it in its\n"
                       "keyboard settings (also spelt `wrenlark --toggle`). Starts Wrenlark\n"
                       "when it is not running.\n\n") +
            busNote,
        QuickCommands::toggle,
    };
}

CliCommand runCommand(std::shared_ptr<SecretStore> secrets)
{
    return {
        QStringLiteral("run"),
        QStringLiteral("SHORTHAND"),
        QStringLiteral("Open the command bar and send a saved command about the selection."),
        QStringLiteral("Like the global shortcut followed by typing SHORTHAND and Return: the\n"
                       "reply streams at once, Ctrl+Return writes it over the selection. Bind it\n"
                       "to a key in the desktop's keyboard settings, e.g. `wrenlark run eng`.\n"
                       "Starts Wrenlark when it is not running.\n\n") +
            busNote,
        [secrets](const QStringList &arguments) { return runSavedCommand(arguments, secrets); },
    };
}

CliCommand preferencesCommand()
{
    return {
        QStringLiteral("preferences"),
        QString(),
        QStringLiteral("Open Wrenlark's Settings window."),
        QStringLiteral("Starts Wrenlark when it is not running; on a desktop without a tray this\n"
                       "is a way to reach Settings.\n\n") +
            busNote,
        [](const QStringList &arguments) {
            return ApplicationCall::withoutArguments(QStringLiteral("preferences"), arguments,
                                                     QStringLiteral("ShowPreferences"), true);
        },
    };
}

CliCommand quitCommand()
{
    return {
        QStringLiteral("quit"),
        QString(),
        QStringLiteral("Quit the running Wrenlark."),
        QStringLiteral("Ends Wrenlark as \"Quit Wrenlark\" in its menu does. Does nothing when it\n"
                       "is not running.\n\n") +
            busNote,
        [](const QStringList &arguments) {
            return ApplicationCall::withoutArguments(QStringLiteral("quit"), arguments,
                                                     QStringLiteral("Quit"), false);
        },
    };
}

CliCommand captureCommand()
{
    return {
        QStringLiteral("capture"),
        QString(),
        QStringLiteral("Drag a rectangle over the screen and ask about it in the command bar."),
        QStringLiteral("Dims the screen; drag over the region to ask about (Escape or a right\n"
                       "click abandons). The command bar then opens with an image of that\n"
                       "region attached to the next request. Starts Wrenlark when it is not\n"
                       "running.\n\n") +
            busNote,
        [](const QStringList &arguments) {
            return ApplicationCall::withoutArguments(QStringLiteral("capture"), arguments,
                                                     QStringLiteral("StartCapture"), true);
        },
    };
}

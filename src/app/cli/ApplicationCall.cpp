#include "cli/ApplicationCall.h"

#include "cli/CliCommand.h"
#include "cli/Terminal.h"
#include "shell/ActivationRequest.h"
#include "shell/ApplicationBus.h"
#include "shell/ShellClient.h"

#include <QDBusMessage>

namespace ApplicationCall {

int call(const QString &command, const QString &method, const QVariantList &arguments,
         bool startIfNeeded)
{
    if (const QString problem = ShellClient::busProblem(); !problem.isEmpty()) {
        Terminal::printError(QStringLiteral("wrenlark %1: %2").arg(command, problem));
        return ExitStatus::failure;
    }
    if (!ShellClient::isRunning()) {
        if (!startIfNeeded) {
            Terminal::printError(
                QStringLiteral("wrenlark %1: Wrenlark is not running.").arg(command));
            return ExitStatus::success;
        }
        QString problem;
        if (!ShellClient::start(&problem)) {
            Terminal::printError(QStringLiteral("wrenlark %1: %2").arg(command, problem));
            return ExitStatus::failure;
        }
    }
    const QDBusMessage reply = ShellClient::call(ApplicationBus::shellInterface, method, arguments);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        Terminal::printError(QStringLiteral("wrenlark %1: Wrenlark did not answer: %2")
                                 .arg(command, reply.errorMessage()));
        return ExitStatus::failure;
    }
    return ExitStatus::success;
}

int withoutArguments(const QString &command, const QStringList &arguments, const QString &method,
                     bool startIfNeeded)
{
    if (!arguments.isEmpty()) {
        Terminal::printError(QStringLiteral("wrenlark %1: takes no arguments").arg(command));
        return ExitStatus::usage;
    }
    QVariantList callArguments;
    if (method != QStringLiteral("Quit"))
        callArguments << ActivationRequest::platformDataFromEnvironment();
    return call(command, method, callArguments, startIfNeeded);
}

} // namespace ApplicationCall

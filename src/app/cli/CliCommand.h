#pragma once

#include "core/desktop/SelectionContext.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class SecretStore;

// Exit statuses of `wrenlark`.
namespace ExitStatus {
constexpr int success = 0;
constexpr int failure = 1;       // the request, the store or the service failed
constexpr int usage = 2;         // the command line or the input was not usable
constexpr int interrupted = 130; // Ctrl+C (128 + SIGINT), as shells report it
} // namespace ExitStatus

// One command of `wrenlark`, e.g. `wrenlark ask ...`. See CommandLine.cpp for
// how commands are registered.
struct CliCommand
{
    // The first word on the command line.
    QString name;
    // The arguments after the name, e.g. "[--model NAME] INSTRUCTION...".
    QString arguments;
    // One line for the overview of `wrenlark --help`.
    QString summary;
    // The rest of `wrenlark help NAME` (and `wrenlark NAME --help`): what the
    // command reads, writes and answers. May be empty.
    QString details;
    // Runs the command with the arguments after its name and returns the
    // exit status. It may run a local event loop; the QCoreApplication exists.
    std::function<int(const QStringList &arguments)> run;
};

// What only the desktop executable can do for the commands: `wrenlark`
// hands `ask --from-selection` over to it, and `doctor` where a display or a
// desktop is named (DesktopPart.h), so in `wrenlark` itself these stay empty.
struct DesktopCommands
{
    // `doctor`: the checks of this desktop, with its display's.
    std::function<int()> doctor;
    // The selection of the frontmost application; prints why and sets the
    // exit status when there is none.
    std::function<std::optional<SelectionContext>(int *exitStatus)> readSelection;
    // Writes a reply over the selection it was read from; the exit status.
    std::function<int(const SelectionContext &context, const QString &reply)> replaceSelection;
};

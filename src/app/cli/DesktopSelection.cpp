#include "cli/DesktopSelection.h"

#include "cli/CliCommand.h"
#include "cli/InterruptWatcher.h"
#include "cli/Terminal.h"
#include "core/desktop/DesktopServices.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/clipboard/ClipboardLock.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

namespace {

// How long to wait for a paste to put the user's clipboard back before
// exiting (the restore itself waits at most a few seconds).
constexpr int clipboardRestoreLimitMs = 6000;

DesktopServices &services()
{
    static DesktopServices desktop = createLinuxDesktopServices();
    return desktop;
}

// Waits (the event loop turning, so this process keeps serving the
// clipboard) until no probe or paste holds the clipboard any more.
void waitForClipboard()
{
    if (ClipboardLock::count() == 0)
        return;
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (ClipboardLock::count() == 0 || clock.elapsed() > clipboardRestoreLimitMs)
            loop.quit();
    });
    poll.start(20);
    loop.exec();
}

} // namespace

namespace DesktopSelection {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

bool needsDesktop(int argc, char *argv[])
{
    if (argc < 2)
        return false;
    const QByteArray command(argv[1]);
    if (command == "doctor")
        return true;
    if (command != "ask")
        return false;
    for (int i = 2; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--from-selection")
            return true;
        if (argument == "--" || !argument.startsWith('-'))
            return false;
    }
    return false;
}

void prepareDesktop()
{
    if (hasDisplay())
        qputenv("QT_QPA_PLATFORM", "xcb");
    prepareLinuxDesktopProcess();
}

std::optional<SelectionContext> read(int *exitStatus)
{
    *exitStatus = ExitStatus::failure;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        Terminal::printError(QStringLiteral(
            "wrenlark ask: --from-selection needs an X11 display (DISPLAY is not set)."));
        return std::nullopt;
    }
    SelectionRequest request;
    request.allowClipboardFallback = true;
    std::unique_ptr<SelectionFetch> fetch(services().selection->fetchSelection(request, nullptr));
    InterruptWatcher interrupt;
    QEventLoop loop;
    QObject::connect(fetch.get(), &SelectionFetch::finished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, fetch.get(),
                     &SelectionFetch::cancel);
    loop.exec();
    if (fetch->wasCancelled()) {
        // A cancelled probe still puts the clipboard back; let it.
        waitForClipboard();
        *exitStatus = ExitStatus::interrupted;
        return std::nullopt;
    }
    const SelectionResult &result = fetch->result();
    if (result.needsPermission) {
        Terminal::printError(QStringLiteral("Enable Accessibility permission to read selections.\n"
                                            "The accessibility bus is now switched on. ") +
                             AccessibilityTrust::restartNotice());
        return std::nullopt;
    }
    if (!result.context) {
        Terminal::printError(QStringLiteral(
            "wrenlark ask: no selected text was found in the frontmost application."));
        return std::nullopt;
    }
    *exitStatus = ExitStatus::success;
    return result.context;
}

int replace(const SelectionContext &context, const QString &reply)
{
    std::unique_ptr<ReplacementOperation> operation(
        services().replacement->replaceSelection(context, reply, nullptr));
    QEventLoop loop;
    QObject::connect(operation.get(), &ReplacementOperation::finished, &loop, &QEventLoop::quit);
    loop.exec();
    waitForClipboard();
    if (!operation->wasDispatched()) {
        Terminal::printError(QStringLiteral("Couldn't replace the selection."));
        return ExitStatus::failure;
    }
    return ExitStatus::success;
}

} // namespace DesktopSelection

#include "cli/DesktopSelection.h"

#include "cli/CliCommand.h"
#include "cli/DesktopPart.h"
#include "cli/InterruptWatcher.h"
#include "cli/Terminal.h"
#include "core/desktop/DesktopServices.h"
#include "core/support/WrenlarkCommand.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/clipboard/ClipboardLock.h"
#include "platform/linux/session/DesktopSession.h"

#include <QClipboard>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>

namespace {

// How long to wait for a paste to put the user's clipboard back before
// exiting (the restore itself waits at most a few seconds).
constexpr int clipboardRestoreLimitMs = 6000;

// Kept to the end of the process, after the services that use them.
LinuxDesktopConnections &connections()
{
    static auto *desktop = new LinuxDesktopConnections;
    return *desktop;
}

DesktopServices &services()
{
    static DesktopServices desktop = [] {
        // Key sessions close while the bus and the application are still there.
        qAddPostRoutine([] { services() = {}; });
        return createLinuxDesktopServices(connections());
    }();
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

// After a probe or a paste this process serves the user's clipboard again;
// it would vanish when the command ends (X11 clipboards live in their
// owner). A detached copy of this program takes it over and serves it until
// something else is copied.
void handOverClipboard(ClipboardAccess &access)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard->ownsClipboard())
        return;
    const PasteboardSnapshot snapshot = access.snapshot(QClipboard::Clipboard);
    if (snapshot.isEmpty())
        return;
    const QString folder = qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
                               ? QDir::tempPath()
                               : qEnvironmentVariable("XDG_RUNTIME_DIR");
    QTemporaryFile file(folder + QStringLiteral("/wrenlark-clipboard-XXXXXX"));
    file.setAutoRemove(false);
    if (!file.open())
        return;
    QDataStream stream(&file);
    stream << qint32(snapshot.items.first().size());
    for (const auto &[type, bytes] : snapshot.items.first())
        stream << type << bytes;
    file.close();
    if (!QProcess::startDetached(
            WrenlarkCommand::path(),
            {QString::fromLatin1(DesktopPart::keepClipboardCommand), file.fileName()})) {
        QFile::remove(file.fileName());
        return;
    }
    QEventLoop loop;
    QTimer limit;
    QObject::connect(clipboard, &QClipboard::changed, &loop, [&] {
        if (!clipboard->ownsClipboard())
            loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(clipboardRestoreLimitMs);
    loop.exec();
}

} // namespace

namespace DesktopSelection {

void settleClipboard(ClipboardAccess &clipboard)
{
    waitForClipboard();
    handOverClipboard(clipboard);
}

int keepClipboard(const QString &snapshotFile)
{
    QFile file(snapshotFile);
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ||
        !file.open(QIODevice::ReadOnly))
        return ExitStatus::failure;
    QDataStream stream(&file);
    qint32 count = 0;
    stream >> count;
    auto *data = new QMimeData;
    for (qint32 i = 0; i < count && stream.status() == QDataStream::Ok; ++i) {
        QString type;
        QByteArray bytes;
        stream >> type >> bytes;
        data->setData(type, bytes);
    }
    file.close();
    file.remove();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data, QClipboard::Clipboard);
    if (!clipboard->ownsClipboard())
        return ExitStatus::failure;
    QObject::connect(clipboard, &QClipboard::changed, QCoreApplication::instance(), [clipboard] {
        if (!clipboard->ownsClipboard())
            QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

void prepareDesktop()
{
    DesktopSession::choosePlatformForThisProcess();
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
        handOverClipboard(connections().clipboard);
        *exitStatus = ExitStatus::interrupted;
        return std::nullopt;
    }
    waitForClipboard();
    handOverClipboard(connections().clipboard);
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
        if (!result.notice.isEmpty())
            Terminal::printError(result.notice);
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
    handOverClipboard(connections().clipboard);
    if (!operation->wasDispatched()) {
        const QString reason = operation->failureMessage();
        Terminal::printError(reason.isEmpty() ? QStringLiteral("Couldn't replace the selection.")
                                              : reason);
        return ExitStatus::failure;
    }
    return ExitStatus::success;
}

} // namespace DesktopSelection

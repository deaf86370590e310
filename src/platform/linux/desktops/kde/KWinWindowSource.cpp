#include "platform/linux/desktops/kde/KWinWindowSource.h"

#include "core/support/Logging.h"
#include "platform/linux/session/SessionBusName.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QWindow>

namespace {

const QString kwinService = QStringLiteral("org.kde.KWin");
const QString objectPath = QStringLiteral("/com/wrenlark/KWinWindows");
constexpr int callTimeoutMs = 5000;
// KWin numbers a loaded script by how many it holds, and its D-Bus object
// by that number: a script loaded while an unloaded one that leaves a gap
// below it still exists takes a number in use, and never runs (nor does
// the next one anybody loads). So a focusing script is unloaded soon after
// it ran, while it is most likely the last one loaded, and the next is
// loaded only once KWin has answered the unloading.
constexpr int focusScriptLifeMs = 1000;

// KWin 6 renamed clients to windows; both are asked for.
const QString windowsFunction = QStringLiteral(R"(
function allWindows() {
    return workspace.windowList ? workspace.windowList() : workspace.clientList();
}
)");

// Reports KWin's windows, in stacking order, at once and at every change.
const QString watcherScript = QStringLiteral(R"(
function report() {
    var windows = allWindows();
    var out = [];
    for (var i = 0; i < windows.length; ++i) {
        var w = windows[i];
        if (w.pid > 0)
            out.push([w.pid, String(w.resourceClass), Boolean(w.active)]);
    }
    callDBus(%1, "%2", "com.wrenlark.KWinWindows", "report", JSON.stringify(out));
}
var signals = [workspace.windowActivated || workspace.clientActivated,
               workspace.windowAdded || workspace.clientAdded,
               workspace.windowRemoved || workspace.clientRemoved];
for (var s = 0; s < signals.length; ++s)
    signals[s].connect(report);
report();
)");

// Activates the topmost window of one process.
const QString focusScript = QStringLiteral(R"(
var windows = allWindows();
var target = null;
for (var i = 0; i < windows.length; ++i) {
    if (windows[i].pid == %1)
        target = windows[i];
}
if (target) {
    if (workspace.activeWindow !== undefined)
        workspace.activeWindow = target;
    else
        workspace.activeClient = target;
}
)");

QDBusMessage kwinCall(const QString &path, const QString &interface, const QString &method,
                      const QList<QVariant> &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(kwinService, path, interface, method);
    call.setArguments(arguments);
    return call;
}

QString pluginName(const QString &role)
{
    return QStringLiteral("wrenlark-%1-%2").arg(role).arg(QCoreApplication::applicationPid());
}

} // namespace

bool KWinWindowSource::isOffered()
{
    return SessionBusName::hasOwner(kwinService);
}

KWinWindowSource::KWinWindowSource(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        qCWarning(lcDesktop).noquote()
            << QStringLiteral("Windows: cannot take %1 on the bus").arg(objectPath);
        return;
    }
    m_kwinOwner = bus.interface()->serviceOwner(kwinService).value();
    m_scriptFolder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                     QStringLiteral("/wrenlark");
    QDir().mkpath(m_scriptFolder);
    m_focusUnload.setSingleShot(true);
    m_focusUnload.setInterval(focusScriptLifeMs);
    connect(&m_focusUnload, &QTimer::timeout, this, [this] { unloadFocusScript(); });
    const QString service = QString::fromUtf8(
        QJsonDocument(QJsonArray{bus.baseService()}).toJson(QJsonDocument::Compact));
    // The name as a JavaScript string literal: the array's only element.
    runScript(pluginName(QStringLiteral("windows")),
              windowsFunction + watcherScript.arg(service.mid(1, service.size() - 2), objectPath));
}

KWinWindowSource::~KWinWindowSource()
{
    // Waited for: the process may end right after, and KWin would keep
    // running the script.
    for (const QString &plugin : {pluginName(QStringLiteral("windows")), m_focusPlugin}) {
        if (plugin.isEmpty())
            continue;
        QDBusConnection::sessionBus().call(kwinCall(QStringLiteral("/Scripting"),
                                                    QStringLiteral("org.kde.kwin.Scripting"),
                                                    QStringLiteral("unloadScript"), {plugin}),
                                           QDBus::Block, 500);
    }
    const QString ownScripts =
        QStringLiteral("wrenlark-*-%1.js").arg(QCoreApplication::applicationPid());
    for (const QString &file : QDir(m_scriptFolder).entryList({ownScripts}))
        QFile::remove(m_scriptFolder + u'/' + file);
}

qint32 KWinWindowSource::focusedWindowPid()
{
    return m_activePid;
}

std::optional<QString> KWinWindowSource::windowClassOf(qint32 pid)
{
    for (const Window &window : std::as_const(m_windows))
        if (window.pid == pid)
            return window.windowClass;
    return std::nullopt;
}

bool KWinWindowSource::focusWindowOf(qint32 pid)
{
    if (!windowClassOf(pid))
        return false;
    // KWin refuses to load a script under the name of one it still holds,
    // and deletes one only after answering: each gets a name of its own.
    // Only the latest request focuses, should another come while one waits.
    unloadFocusScript([this, pid, request = ++m_focusRequests] {
        if (request != m_focusRequests)
            return;
        m_focusPlugin = pluginName(QStringLiteral("focus-%1").arg(++m_focusScripts));
        runScript(m_focusPlugin, windowsFunction + focusScript.arg(pid));
        m_focusUnload.start();
    });
    return true;
}

void KWinWindowSource::unloadFocusScript(std::function<void()> then)
{
    m_focusUnload.stop();
    if (m_focusPlugin.isEmpty()) {
        if (then)
            then();
        return;
    }
    unloadScript(std::exchange(m_focusPlugin, QString()), std::move(then));
}

void KWinWindowSource::focusOwnWindow(QWindow *window)
{
    window->raise();
    window->requestActivate();
}

void KWinWindowSource::report(const QString &windows)
{
    if (message().service() != m_kwinOwner) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Only KWin reports windows"));
        return;
    }
    QList<Window> reported;
    qint32 active = 0;
    for (const QJsonValue &value : QJsonDocument::fromJson(windows.toUtf8()).array()) {
        const QJsonArray window = value.toArray();
        const qint32 pid = window.at(0).toInt();
        reported.append({pid, window.at(1).toString()});
        if (window.at(2).toBool())
            active = pid;
    }
    // Stacking order, topmost last; the active window goes first.
    std::reverse(reported.begin(), reported.end());
    std::stable_partition(reported.begin(), reported.end(),
                          [active](const Window &window) { return window.pid == active; });
    m_windows = reported;
    m_activePid = active;
}

void KWinWindowSource::runScript(const QString &plugin, const QString &source)
{
    const QString path = m_scriptFolder + u'/' + plugin + QStringLiteral(".js");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(source.toUtf8()) < 0) {
        qCWarning(lcDesktop).noquote() << QStringLiteral("Windows: cannot write %1").arg(path);
        return;
    }
    file.close();
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto *watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(kwinCall(QStringLiteral("/Scripting"),
                               QStringLiteral("org.kde.kwin.Scripting"),
                               QStringLiteral("loadScript"), {path, plugin}),
                      callTimeoutMs),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [plugin](QDBusPendingCallWatcher *loaded) {
                loaded->deleteLater();
                const QDBusMessage reply = loaded->reply();
                const int id = reply.arguments().value(0).toInt();
                if (reply.type() != QDBusMessage::ReplyMessage || id < 0) {
                    qCWarning(lcDesktop).noquote()
                        << QStringLiteral("Windows: KWin did not load the script %1: %2")
                               .arg(plugin, reply.errorMessage());
                    return;
                }
                // KWin 5 puts a loaded script at /N, KWin 6 at /Scripting/ScriptN.
                for (const QString &script :
                     {QStringLiteral("/%1").arg(id), QStringLiteral("/Scripting/Script%1").arg(id)})
                    QDBusConnection::sessionBus().asyncCall(kwinCall(
                        script, QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run")));
            });
}

void KWinWindowSource::unloadScript(const QString &plugin, std::function<void()> then)
{
    QFile::remove(m_scriptFolder + u'/' + plugin + QStringLiteral(".js"));
    auto *watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(kwinCall(QStringLiteral("/Scripting"),
                                                         QStringLiteral("org.kde.kwin.Scripting"),
                                                         QStringLiteral("unloadScript"), {plugin}),
                                                callTimeoutMs),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [then = std::move(then)](QDBusPendingCallWatcher *unloaded) {
                unloaded->deleteLater();
                if (then)
                    then();
            });
}

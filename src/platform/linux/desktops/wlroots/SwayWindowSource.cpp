#include "platform/linux/desktops/wlroots/SwayWindowSource.h"

#include "core/support/Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonArray>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace {

using View = SwayWindowSource::View;

QString windowClassOf(const QJsonObject &node)
{
    const QString appId = node.value(QStringLiteral("app_id")).toString();
    if (!appId.isEmpty())
        return appId;
    return node.value(QStringLiteral("window_properties"))
        .toObject()
        .value(QStringLiteral("class"))
        .toString();
}

// Tiled and floating children, in the order the container last focused them
// (its "focus" list holds their ids, the most recent first).
QList<QJsonObject> childrenByFocus(const QJsonObject &node)
{
    QList<QJsonObject> children;
    for (const char *key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue child : node.value(QLatin1String(key)).toArray())
            children.append(child.toObject());
    }
    const QJsonArray focus = node.value(QStringLiteral("focus")).toArray();
    const auto rank = [&focus](const QJsonObject &child) {
        const qint64 id = child.value(QStringLiteral("id")).toInteger();
        for (qsizetype i = 0; i < focus.size(); ++i) {
            if (focus.at(i).toInteger() == id)
                return i;
        }
        return focus.size();
    };
    std::stable_sort(
        children.begin(), children.end(),
        [&rank](const QJsonObject &a, const QJsonObject &b) { return rank(a) < rank(b); });
    return children;
}

void collect(const QJsonObject &node, QList<View> *views)
{
    // A view is a container holding a surface: it names its shell.
    if (node.contains(QStringLiteral("shell"))) {
        View view;
        view.id = node.value(QStringLiteral("id")).toInteger();
        view.pid = qint32(node.value(QStringLiteral("pid")).toInteger());
        view.xWindow = quint64(node.value(QStringLiteral("window")).toInteger());
        view.windowClass = windowClassOf(node);
        view.focused = node.value(QStringLiteral("focused")).toBool();
        views->append(view);
    }
    for (const QJsonObject &child : childrenByFocus(node))
        collect(child, views);
}

} // namespace

SwayWindowSource::SwayWindowSource(QString socketPath, int timeoutMs)
    : m_ipc(std::move(socketPath), timeoutMs)
{
}

QList<View> SwayWindowSource::viewsOf(const QJsonObject &tree)
{
    QList<View> views;
    collect(tree, &views);
    return views;
}

QList<View> SwayWindowSource::currentViews()
{
    const auto tree = m_ipc.request(SwayIpc::Message::getTree);
    if (!tree) {
        // Once per kind of failure: the activation wait asks many times.
        if (std::exchange(m_loggedError, m_ipc.lastError()) != m_ipc.lastError())
            qCInfo(lcDesktop).noquote()
                << QStringLiteral("Windows: sway's tree unreadable (%1).").arg(m_ipc.lastError());
        return {};
    }
    m_loggedError.clear();
    return viewsOf(tree->object());
}

std::optional<View> SwayWindowSource::latestViewOf(qint32 pid)
{
    if (pid <= 0)
        return std::nullopt;
    for (const View &view : currentViews()) {
        if (view.pid == pid)
            return view;
    }
    return std::nullopt;
}

qint32 SwayWindowSource::focusedWindowPid()
{
    for (const View &view : currentViews()) {
        if (view.focused)
            return view.pid;
    }
    return 0;
}

std::optional<QString> SwayWindowSource::windowClassOf(qint32 pid)
{
    if (const auto view = latestViewOf(pid))
        return view->windowClass;
    return std::nullopt;
}

bool SwayWindowSource::focusView(const View &view)
{
    if (m_ipc.runCommand(QStringLiteral("[con_id=%1] focus").arg(view.id)))
        return true;
    qCInfo(lcDesktop).noquote() << QStringLiteral("Windows: sway did not focus pid=%1 (%2).")
                                       .arg(view.pid)
                                       .arg(m_ipc.lastError());
    return false;
}

bool SwayWindowSource::focusWindowOf(qint32 pid)
{
    const auto view = latestViewOf(pid);
    return view && focusView(*view);
}

void SwayWindowSource::focusOwnWindow(QWindow *window)
{
    window->raise();
    window->requestActivate();
    // sway takes an XWayland window's activation request for a hint (it
    // marks the window urgent); the IPC focuses it.
    const qint32 pid = qint32(QCoreApplication::applicationPid());
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    std::optional<View> own;
    for (const View &view : currentViews()) {
        if (view.pid != pid)
            continue;
        if (x11 && view.xWindow == quint64(window->winId())) {
            own = view;
            break;
        }
        if (!own)
            own = view;
    }
    if (own && !own->focused)
        focusView(*own);
}

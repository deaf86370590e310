#include "SwayTree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

QJsonDocument swaymsg(const QString &type)
{
    QProcess process;
    process.start(QStringLiteral("swaymsg"), {QStringLiteral("-r"), QStringLiteral("-t"), type});
    if (!process.waitForFinished(5000) || process.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(process.readAllStandardOutput());
}

QRect rectOf(const QJsonObject &node)
{
    const QJsonObject rect = node.value(QStringLiteral("rect")).toObject();
    return {rect.value(QStringLiteral("x")).toInt(), rect.value(QStringLiteral("y")).toInt(),
            rect.value(QStringLiteral("width")).toInt(),
            rect.value(QStringLiteral("height")).toInt()};
}

void collect(const QJsonObject &node, bool floating, QList<SwayView> *views)
{
    // A view is a container that holds a surface: it has a shell.
    if (node.contains(QStringLiteral("shell"))) {
        SwayView view;
        view.name = node.value(QStringLiteral("name")).toString();
        view.appId = node.value(QStringLiteral("app_id")).toString();
        view.shell = node.value(QStringLiteral("shell")).toString();
        view.pid = node.value(QStringLiteral("pid")).toInteger();
        view.focused = node.value(QStringLiteral("focused")).toBool();
        view.floating = floating;
        view.rect = rectOf(node);
        views->append(view);
    }
    for (const QJsonValue child : node.value(QStringLiteral("nodes")).toArray())
        collect(child.toObject(), false, views);
    for (const QJsonValue child : node.value(QStringLiteral("floating_nodes")).toArray())
        collect(child.toObject(), true, views);
}

} // namespace

namespace SwayTree {

QList<SwayView> views()
{
    QList<SwayView> found;
    collect(swaymsg(QStringLiteral("get_tree")).object(), false, &found);
    return found;
}

std::optional<SwayView> focusedView()
{
    for (const SwayView &view : views()) {
        if (view.focused)
            return view;
    }
    return std::nullopt;
}

qint64 focusedPid()
{
    const std::optional<SwayView> focused = focusedView();
    return focused ? focused->pid : 0;
}

QList<SwayView> viewsOf(qint64 pid)
{
    QList<SwayView> found;
    for (const SwayView &view : views()) {
        if (view.pid == pid)
            found.append(view);
    }
    return found;
}

QRect outputRect()
{
    const QJsonArray outputs = swaymsg(QStringLiteral("get_outputs")).array();
    return outputs.isEmpty() ? QRect() : rectOf(outputs.first().toObject());
}

QList<SwayOutput> outputs()
{
    QList<SwayOutput> found;
    for (const QJsonValue value : swaymsg(QStringLiteral("get_outputs")).array()) {
        const QJsonObject output = value.toObject();
        found.append({output.value(QStringLiteral("name")).toString(), rectOf(output),
                      output.value(QStringLiteral("scale")).toDouble(1.0)});
    }
    return found;
}

} // namespace SwayTree

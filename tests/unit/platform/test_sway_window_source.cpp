// The views of sway's tree in the order sway last focused them: tiled,
// nested and floating alike, so the most recent window of a process is the
// one brought back.
#include "platform/linux/desktops/wlroots/SwayWindowSource.h"

#include <QJsonDocument>
#include <QTest>

namespace {

// Shaped as sway 1.7 answers get_tree (fields the source reads only): a
// workspace with a tiled editor, a split holding an XWayland terminal and a
// second editor window, the floating bar with the focus; a second
// workspace; the scratchpad.
const char *const tree = R"({
  "id": 1, "type": "root", "focus": [3, 2147483647],
  "nodes": [
    {"id": 2147483647, "type": "output", "name": "__i3", "focus": [2147483646],
     "nodes": [{"id": 2147483646, "type": "workspace", "name": "__i3_scratch", "focus": [20],
                "nodes": [],
                "floating_nodes": [{"id": 20, "type": "floating_con", "pid": 500,
                                    "app_id": "scratch", "shell": "xdg_shell"}]}]},
    {"id": 3, "type": "output", "name": "HEADLESS-1", "focus": [4, 8],
     "nodes": [
       {"id": 4, "type": "workspace", "name": "1", "focus": [12, 9, 5],
        "nodes": [
          {"id": 5, "type": "con", "pid": 100, "app_id": "editor", "shell": "xdg_shell",
           "focused": false},
          {"id": 9, "type": "con", "layout": "splitv", "focus": [11, 10],
           "nodes": [
             {"id": 10, "type": "con", "pid": 200, "app_id": null, "shell": "xwayland",
              "window": 4194307, "window_properties": {"class": "XTerm", "instance": "xterm"}},
             {"id": 11, "type": "con", "pid": 100, "app_id": "editor", "shell": "xdg_shell"}]}],
        "floating_nodes": [
          {"id": 12, "type": "floating_con", "pid": 300, "shell": "xwayland", "focused": true,
           "window": 6291459, "window_properties": {"class": "wrenlark"}}]},
       {"id": 8, "type": "workspace", "name": "2", "focus": [13],
        "nodes": [{"id": 13, "type": "con", "pid": 400, "app_id": "foot",
                   "shell": "xdg_shell"}]}]}]
})";

} // namespace

class SwayWindowSourceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void viewsInFocusOrder()
    {
        const auto views = SwayWindowSource::viewsOf(QJsonDocument::fromJson(tree).object());
        QList<qint64> ids;
        for (const auto &view : views)
            ids.append(view.id);
        // The split's later-focused child before the tiled window that comes
        // first in the tree; the scratchpad, never focused, last.
        QCOMPARE(ids, (QList<qint64>{12, 11, 10, 5, 13, 20}));

        const auto &bar = views.at(0);
        QVERIFY(bar.focused);
        QCOMPARE(bar.pid, 300);
        QCOMPARE(bar.windowClass, QStringLiteral("wrenlark"));
        QCOMPARE(bar.xWindow, quint64(6291459));
        QCOMPARE(
            std::count_if(views.cbegin(), views.cend(), [](const auto &v) { return v.focused; }),
            1);

        const auto &terminal = views.at(2);
        QCOMPARE(terminal.windowClass, QStringLiteral("XTerm"));
        QCOMPARE(views.at(1).windowClass, QStringLiteral("editor"));
        QCOMPARE(views.at(1).xWindow, quint64(0));
    }

    void noViewWithoutWindows()
    {
        QVERIFY(SwayWindowSource::viewsOf({}).isEmpty());
        // A workspace with the focus and no windows: no view, none focused.
        const QJsonObject empty =
            QJsonDocument::fromJson(R"({"id":1,"type":"root","focus":[3],"nodes":[{"id":3,
                "type":"output","focus":[4],"nodes":[{"id":4,"type":"workspace",
                "focused":true,"nodes":[],"floating_nodes":[]}]}]})")
                .object();
        QVERIFY(SwayWindowSource::viewsOf(empty).isEmpty());
    }
};

QTEST_GUILESS_MAIN(SwayWindowSourceTest)
#include "test_sway_window_source.moc"

#pragma once

#include "platform/linux/applications/WindowSource.h"

#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

// The windows KWin shows, Wayland and XWayland alike. KWin tells no other
// program which window is active, but it runs scripts: one loaded at the
// start reports KWin's windows over D-Bus whenever one is added, removed or
// activated, so the answers here come from that report at once (its
// changes arrive with the event loop's next turn). A window is focused by a
// short script of its own. Main thread only.
//
// Only KWin's own bus name may report: anything else calling is refused.
class KWinWindowSource : public QObject, public WindowSource, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.wrenlark.KWinWindows")

public:
    // Whether KWin runs on the session bus (asks the bus, waiting at most a
    // second).
    static bool isOffered();

    explicit KWinWindowSource(QObject *parent = nullptr);
    ~KWinWindowSource() override;

    qint32 focusedWindowPid() override;
    std::optional<QString> windowClassOf(qint32 pid) override;
    bool focusWindowOf(qint32 pid) override;
    void focusOwnWindow(QWindow *window) override;

public Q_SLOTS:
    // From the script: KWin's windows as JSON, [[pid, class, active], ...].
    Q_SCRIPTABLE void report(const QString &windows);

private:
    struct Window
    {
        qint32 pid = 0;
        QString windowClass;
    };

    // Loads and runs `source` as the KWin script `plugin`.
    void runScript(const QString &plugin, const QString &source);
    // Unloads `plugin`; `then` runs once KWin has answered.
    void unloadScript(const QString &plugin, std::function<void()> then = {});
    void unloadFocusScript(std::function<void()> then = {});

    // The windows, the most recently active first.
    QList<Window> m_windows;
    qint32 m_activePid = 0;
    // KWin's unique name on the bus: the only caller report() answers.
    QString m_kwinOwner;
    QString m_scriptFolder;
    // The focusing script still loaded, and how many there were.
    QString m_focusPlugin;
    int m_focusScripts = 0;
    int m_focusRequests = 0;
    // Unloads the focusing script a moment after it ran.
    QTimer m_focusUnload;
};

#pragma once

#include "platform/linux/applications/WindowSource.h"
#include "platform/linux/desktops/wlroots/SwayIpc.h"

#include <QJsonObject>
#include <QList>

// The windows sway shows, Wayland and XWayland alike, from its tree over
// the IPC socket; windows are focused with a command on their container.
class SwayWindowSource : public WindowSource
{
public:
    // A container that holds a client's surface.
    struct View
    {
        qint64 id = 0;
        qint32 pid = 0;
        // The X11 window under XWayland; 0 for a Wayland client.
        quint64 xWindow = 0;
        // The Wayland app_id, or the X11 window class under XWayland.
        QString windowClass;
        bool focused = false;
    };

    explicit SwayWindowSource(QString socketPath, int timeoutMs = SwayIpc::defaultTimeoutMs);

    // The views of a get_tree reply, the most recently focused first.
    static QList<View> viewsOf(const QJsonObject &tree);

    qint32 focusedWindowPid() override;
    std::optional<QString> windowClassOf(qint32 pid) override;
    bool focusWindowOf(qint32 pid) override;
    void focusOwnWindow(QWindow *window) override;

    SwayIpc &ipc() { return m_ipc; }

private:
    QList<View> currentViews();
    std::optional<View> latestViewOf(qint32 pid);
    bool focusView(const View &view);

    SwayIpc m_ipc;
    QString m_loggedError;
};

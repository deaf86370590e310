#pragma once

#include "core/desktop/ScreenCaptureService.h"

#include <QObject>
#include <QTimer>
#include <QVariantMap>
#include <chrono>

class QDBusPendingCallWatcher;

// One Screenshot call to the portal, from the call to its Response signal.
// Deletes itself after it has called `done` once.
class PortalScreenshotRequest : public QObject
{
    Q_OBJECT

public:
    // `parentWindow` is the portal's parent_window argument ("x11:<hex XID>",
    // or empty for none).
    PortalScreenshotRequest(ScreenCaptureService::GrabCallback done,
                            std::chrono::milliseconds timeout, QString parentWindow);
    void start();

private Q_SLOTS:
    void handleResponse(uint response, const QVariantMap &results);

private:
    void handleReply(QDBusPendingCallWatcher *watcher);
    bool subscribe(const QString &requestPath);
    void unsubscribe();
    void finish(ScreenGrabResult result);
    void fail(const QString &message);

    ScreenCaptureService::GrabCallback m_done;
    QTimer m_timeout;
    QString m_parentWindow;
    QString m_requestPath;
    bool m_finished = false;
};

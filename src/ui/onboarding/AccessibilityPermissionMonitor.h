#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

class AccessibilityTrust;
class AppAnalytics;
class SerialWorkQueue;

// Whether Wrenlark may read other applications' text (on Linux: the
// accessibility bus is on), asked of the desktop off the main thread. After
// a request it checks again every half second until permission is granted;
// it never checks while nobody is waiting for an answer.
class AccessibilityPermissionMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int pollIntervalMilliseconds = 500;

    // Without `trust` there is nothing to ask for: permission counts as granted.
    AccessibilityPermissionMonitor(std::shared_ptr<AccessibilityTrust> trust,
                                   AppAnalytics &analytics, QObject *parent = nullptr);
    ~AccessibilityPermissionMonitor() override;

    bool isGranted() const { return m_isGranted; }
    bool isRequesting() const { return m_isRequesting; }
    // Whether the desktop has answered at least once.
    bool isKnown() const { return m_isKnown; }
    bool isPolling() const { return m_pollTimer.isActive() || m_checkInFlight; }

    // Checks again (the window was shown).
    void refresh();
    // Asks the desktop for permission, then waits for it; nothing when granted.
    void requestPermission();
    void startPolling();

Q_SIGNALS:
    void changed();
    // Permission went from not granted to granted.
    void granted();

private:
    void check();
    void applyCheck(bool trusted);

    std::shared_ptr<AccessibilityTrust> m_trust;
    AppAnalytics &m_analytics;
    SerialWorkQueue *m_queue;
    QTimer m_pollTimer;
    bool m_isGranted = false;
    bool m_isKnown = false; // an answer has arrived
    bool m_isRequesting = false;
    bool m_checkInFlight = false;
};

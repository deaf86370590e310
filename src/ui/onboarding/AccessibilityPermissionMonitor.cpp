#include "ui/onboarding/AccessibilityPermissionMonitor.h"

#include "core/analytics/AppAnalytics.h"
#include "core/desktop/AccessibilityTrust.h"
#include "ui/common/SerialWorkQueue.h"

AccessibilityPermissionMonitor::AccessibilityPermissionMonitor(
    std::shared_ptr<AccessibilityTrust> trust, AppAnalytics &analytics, QObject *parent)
    : QObject(parent)
    , m_trust(std::move(trust))
    , m_analytics(analytics)
    , m_queue(new SerialWorkQueue(this))
{
    m_isGranted = !m_trust;
    m_isKnown = !m_trust;
    m_pollTimer.setSingleShot(true);
    m_pollTimer.setInterval(pollIntervalMilliseconds);
    connect(&m_pollTimer, &QTimer::timeout, this, &AccessibilityPermissionMonitor::check);
    refresh();
}

AccessibilityPermissionMonitor::~AccessibilityPermissionMonitor()
{
    m_pollTimer.stop();
}

void AccessibilityPermissionMonitor::refresh()
{
    if (!m_trust)
        return;
    std::shared_ptr<AccessibilityTrust> trust = m_trust;
    m_queue->run<bool>(
        this, [trust] { return trust->isTrusted(); },
        [this](bool trusted) { applyCheck(trusted); });
}

void AccessibilityPermissionMonitor::requestPermission()
{
    if (m_isGranted || !m_trust)
        return;
    m_analytics.signal(QStringLiteral("Accessibility.permissionRequested"));
    m_isRequesting = true;
    Q_EMIT changed();
    std::shared_ptr<AccessibilityTrust> trust = m_trust;
    m_queue->run<bool>(
        this, [trust] { return trust->requestTrust(); },
        [this](bool trusted) {
            applyCheck(trusted);
            startPolling();
        });
}

void AccessibilityPermissionMonitor::startPolling()
{
    m_pollTimer.stop();
    if (m_isGranted || !m_trust)
        return;
    m_pollTimer.start();
}

void AccessibilityPermissionMonitor::check()
{
    if (m_checkInFlight || !m_trust)
        return;
    m_checkInFlight = true;
    std::shared_ptr<AccessibilityTrust> trust = m_trust;
    m_queue->run<bool>(
        this, [trust] { return trust->isTrusted(); },
        [this](bool trusted) {
            m_checkInFlight = false;
            applyCheck(trusted);
            if (!m_isGranted && m_isRequesting)
                m_pollTimer.start();
        });
}

void AccessibilityPermissionMonitor::applyCheck(bool trusted)
{
    const bool wasGranted = m_isGranted;
    // The first answer is the state found, not a change of it.
    const bool wasKnown = std::exchange(m_isKnown, true);
    m_isGranted = trusted;
    if (trusted) {
        m_isRequesting = false;
        m_pollTimer.stop();
    }
    if (wasGranted != m_isGranted || trusted)
        Q_EMIT changed();
    if (wasKnown && !wasGranted && trusted)
        Q_EMIT granted();
}

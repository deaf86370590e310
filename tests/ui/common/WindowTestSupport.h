#pragma once

#include "core/analytics/AppAnalytics.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QWidget;
class SecretStore;

// Shared pieces of the window tests.
namespace WindowTestSupport {

// An analytics facade of the test's own (nothing is delivered) that keeps
// every signal it makes, in order.
class RecordedAnalytics : public QObject
{
    Q_OBJECT

public:
    // Keys are read from `secrets`.
    explicit RecordedAnalytics(std::shared_ptr<SecretStore> secrets);
    ~RecordedAnalytics() override;

    AppAnalytics *analytics() const { return m_analytics.get(); }
    // Waits until every signal sent so far is recorded.
    void flush();
    void clear() { m_records.clear(); }
    // The records of `name` (without the "Wrenlark." prefix), after a flush.
    QList<AnalyticsSignalRecord> named(const QString &name);
    int count(const QString &name) { return int(named(name).size()); }
    static QString parameter(const AnalyticsSignalRecord &record, const QString &key);

private:
    std::unique_ptr<AppAnalytics> m_analytics;
    QList<AnalyticsSignalRecord> m_records;
};

// The Fusion style with its light palette, or a dark one.
void usePalette(bool dark);
// The Fusion style with a high-contrast palette (black on white) and the
// application's font scaled by `fontScale`, as a desktop's large text does;
// usePalette() undoes both.
void useLargeTextAndHighContrast(qreal fontScale);
// The texts of the window's visible labels, buttons and lists that do not fit in
// the room they have (or lie outside the window), described; empty when
// every one can be read whole.
QStringList cutTexts(QWidget *window);
// Saves the window as test-output/screenshots/<name>.png; the path.
QString saveScreenshot(QWidget *window, const QString &name);
// Removes every provider key and the subscription session from `secrets`.
void clearStoredCredentials(const std::shared_ptr<SecretStore> &secrets);

} // namespace WindowTestSupport

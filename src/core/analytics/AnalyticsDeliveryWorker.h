#pragma once

#include "core/analytics/AnalyticsClientConfiguration.h"
#include "core/analytics/AnalyticsDeliveryOptions.h"
#include "core/analytics/AnalyticsSignalQueue.h"

#include <QObject>
#include <QSet>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;

// The delivery client's worker: lives on the client's thread and does all of
// its work there, one call at a time. It turns each signal into a record
// (default parameters evaluated now, prefixes applied), keeps undelivered
// records in the bounded on-disk queue and posts them in batches, backing off
// after failures.
class AnalyticsDeliveryWorker : public QObject
{
    Q_OBJECT

public:
    AnalyticsDeliveryWorker(AnalyticsClientConfiguration configuration,
                            AnalyticsDeliveryOptions options);

    // Loads the queue left by an earlier run and schedules its delivery.
    void start();
    void record(const QString &signalName, const AnalyticsParameters &parameters,
                const QDateTime &sentAt);
    // Keeps sending what is queued until it is empty, a delivery fails or the
    // shutdown bound is reached, then stops the thread's event loop.
    void stop();

Q_SIGNALS:
    void signalRecorded(const AnalyticsSignalRecord &record);
    void batchDelivered(int signalCount);
    void batchRejected(int statusCode, int signalCount);
    void deliveryFailed(const QString &reason);

private:
    bool delivers() const { return !m_options.endpoint.isEmpty(); }
    AnalyticsSignalRecord makeRecord(const QString &signalName,
                                     const AnalyticsParameters &parameters,
                                     const QDateTime &sentAt) const;
    void scheduleSend(double delaySeconds);
    void scheduleAfterActivity();
    void sendNextBatch();
    void batchFinished(QNetworkReply *reply, const QSet<QString> &ids);
    void retryLater(const QString &reason);
    void finish();

    AnalyticsClientConfiguration m_configuration;
    AnalyticsDeliveryOptions m_options;
    AnalyticsSignalQueue m_queue;
    QNetworkAccessManager *m_network = nullptr;
    QNetworkReply *m_inFlight = nullptr;
    QTimer m_sendTimer;
    QTimer m_shutdownDeadline;
    double m_retryDelaySeconds = 0; // 0 while deliveries succeed
    bool m_reportedOverflow = false;
    bool m_stopping = false;
    bool m_finished = false;
};

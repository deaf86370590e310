#pragma once

#include "core/analytics/AnalyticsClientConfiguration.h"
#include "core/analytics/AnalyticsDeliveryOptions.h"
#include "core/analytics/AnalyticsSignalRecord.h"

#include <QMutex>
#include <QObject>
#include <QThread>

class AnalyticsDeliveryWorker;

// Sends analytics signals to the service: batched, kept on disk until
// delivered, retried with back-off. All work happens on one worker thread
// ("com.wrenlark.analytics"), in the order the signals were sent; callers
// never wait for it.
class AnalyticsClient : public QObject
{
    Q_OBJECT

public:
    // Starts the worker, which picks up the queue an earlier run left.
    AnalyticsClient(AnalyticsClientConfiguration configuration, AnalyticsDeliveryOptions options,
                    QObject *parent = nullptr);
    // Shuts down (see shutdown()).
    ~AnalyticsClient() override;

    // Callable from any thread; returns at once. Ignored after shutdown().
    void send(const QString &signalName, const AnalyticsParameters &parameters = {});

    // Handles every signal sent so far, then tries to deliver the queue for at
    // most the options' shutdown bound and stops the worker. What is not
    // delivered stays in the queue file for the next run. Blocks the caller
    // until the worker has stopped.
    void shutdown();

Q_SIGNALS:
    // Emitted for every signal once its record is made, whether or not it is
    // queued for delivery.
    void signalRecorded(const AnalyticsSignalRecord &record);
    void batchDelivered(int signalCount);
    void batchRejected(int statusCode, int signalCount);
    void deliveryFailed(const QString &reason);

private:
    QThread m_thread;
    AnalyticsDeliveryWorker *m_worker;
    QMutex m_mutex; // guards m_accepting against a concurrent shutdown
    bool m_accepting = true;
};

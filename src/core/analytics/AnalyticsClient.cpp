#include "core/analytics/AnalyticsClient.h"

#include "core/analytics/AnalyticsDeliveryWorker.h"

#include <QDateTime>

AnalyticsClient::AnalyticsClient(AnalyticsClientConfiguration configuration,
                                 AnalyticsDeliveryOptions options, QObject *parent)
    : QObject(parent)
    , m_worker(new AnalyticsDeliveryWorker(std::move(configuration), std::move(options)))
{
    m_thread.setObjectName(QStringLiteral("com.wrenlark.analytics"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &AnalyticsDeliveryWorker::signalRecorded, this,
            &AnalyticsClient::signalRecorded);
    connect(m_worker, &AnalyticsDeliveryWorker::batchDelivered, this,
            &AnalyticsClient::batchDelivered);
    connect(m_worker, &AnalyticsDeliveryWorker::batchRejected, this,
            &AnalyticsClient::batchRejected);
    connect(m_worker, &AnalyticsDeliveryWorker::deliveryFailed, this,
            &AnalyticsClient::deliveryFailed);
    m_thread.start(QThread::LowPriority);
    QMetaObject::invokeMethod(m_worker, &AnalyticsDeliveryWorker::start, Qt::QueuedConnection);
}

AnalyticsClient::~AnalyticsClient()
{
    shutdown();
}

void AnalyticsClient::send(const QString &signalName, const AnalyticsParameters &parameters)
{
    const QDateTime sentAt = QDateTime::currentDateTimeUtc();
    QMutexLocker locker(&m_mutex);
    if (!m_accepting)
        return;
    AnalyticsDeliveryWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker, signalName, parameters, sentAt] {
            worker->record(signalName, parameters, sentAt);
        },
        Qt::QueuedConnection);
}

void AnalyticsClient::shutdown()
{
    {
        QMutexLocker locker(&m_mutex);
        if (!m_accepting)
            return;
        m_accepting = false;
        // Queued behind every signal sent before this point.
        QMetaObject::invokeMethod(m_worker, &AnalyticsDeliveryWorker::stop, Qt::QueuedConnection);
    }
    m_thread.wait();
}

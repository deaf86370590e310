#include "core/analytics/AnalyticsDeliveryWorker.h"

#include "core/support/Logging.h"
#include "core/support/MonotonicClock.h"
#include "core/support/ReplyBodyLimit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QUuid>
#include <algorithm>

namespace {

constexpr qint64 maximumAnswerBytes = 64 * 1024;

// The service will not take these signals, now or later. Time-outs and rate
// limits are worth another try.
bool isRejection(int statusCode)
{
    return statusCode >= 400 && statusCode < 500 && statusCode != 408 && statusCode != 429;
}

bool isSuccess(int statusCode)
{
    return statusCode >= 200 && statusCode < 300;
}

} // namespace

AnalyticsDeliveryWorker::AnalyticsDeliveryWorker(AnalyticsClientConfiguration configuration,
                                                 AnalyticsDeliveryOptions options)
    : m_configuration(std::move(configuration))
    , m_options(std::move(options))
    , m_queue(m_options.queueFilePath, m_options.maxQueuedSignals)
{
    // Parented, so they follow the worker to its thread.
    m_sendTimer.setParent(this);
    m_sendTimer.setSingleShot(true);
    connect(&m_sendTimer, &QTimer::timeout, this, &AnalyticsDeliveryWorker::sendNextBatch);
    m_shutdownDeadline.setParent(this);
    m_shutdownDeadline.setSingleShot(true);
    connect(&m_shutdownDeadline, &QTimer::timeout, this, &AnalyticsDeliveryWorker::finish);
}

void AnalyticsDeliveryWorker::start()
{
    m_network = new QNetworkAccessManager(this);
    // Without an endpoint the queue of an earlier run is left untouched.
    if (!delivers())
        return;
    m_queue.load();
    if (!m_queue.isEmpty())
        scheduleSend(0);
}

void AnalyticsDeliveryWorker::record(const QString &signalName,
                                     const AnalyticsParameters &parameters, const QDateTime &sentAt)
{
    AnalyticsSignalRecord signalRecord = makeRecord(signalName, parameters, sentAt);
    Q_EMIT signalRecorded(signalRecord);
    if (!delivers())
        return;

    const int dropped = m_queue.append(std::move(signalRecord));
    if (dropped > 0 && !m_reportedOverflow) {
        m_reportedOverflow = true;
        qCWarning(lcAnalytics).noquote()
            << QStringLiteral("Analytics queue is full (%1 signals); dropping "
                              "the oldest until delivery succeeds.")
                   .arg(m_options.maxQueuedSignals);
    }
    m_queue.save();
    scheduleAfterActivity();
}

AnalyticsSignalRecord AnalyticsDeliveryWorker::makeRecord(const QString &signalName,
                                                          const AnalyticsParameters &parameters,
                                                          const QDateTime &sentAt) const
{
    // Default parameters are evaluated now, for this signal; the signal's own
    // parameters win over them.
    AnalyticsParameters merged;
    if (m_configuration.defaultParameters)
        merged = m_configuration.defaultParameters();
    merged.insert(parameters);

    AnalyticsSignalRecord signalRecord;
    signalRecord.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    signalRecord.type = m_configuration.signalNamePrefix + signalName;
    signalRecord.timestamp = sentAt.toUTC();
    for (auto it = merged.cbegin(); it != merged.cend(); ++it)
        signalRecord.payload.insert(m_configuration.parameterKeyPrefix + it.key(), it.value());
    return signalRecord;
}

void AnalyticsDeliveryWorker::scheduleSend(double delaySeconds)
{
    m_sendTimer.start(secondsToMilliseconds(delaySeconds));
}

// After a new signal or a finished request: a full batch goes at once, a
// partial one waits for company, and a back-off in progress is left running.
void AnalyticsDeliveryWorker::scheduleAfterActivity()
{
    if (m_inFlight || m_queue.isEmpty())
        return;
    if (m_retryDelaySeconds > 0) {
        if (!m_sendTimer.isActive())
            scheduleSend(m_retryDelaySeconds);
        return;
    }
    if (m_queue.size() >= m_options.batchSize)
        scheduleSend(0);
    else if (!m_sendTimer.isActive())
        scheduleSend(m_options.flushIntervalSeconds);
}

void AnalyticsDeliveryWorker::sendNextBatch()
{
    if (m_inFlight)
        return;
    const bool held = m_configuration.deliveryHeld && m_configuration.deliveryHeld();
    if (m_queue.isEmpty() || !delivers() || held) {
        if (m_stopping)
            finish();
        return;
    }

    QJsonArray batch;
    QSet<QString> ids;
    for (const AnalyticsSignalRecord &signalRecord : m_queue.oldest(m_options.batchSize)) {
        batch.append(signalRecord.toJson());
        ids.insert(signalRecord.id);
    }
    const QJsonObject body{{QStringLiteral("appID"), m_configuration.appID},
                           {QStringLiteral("signals"), batch}};

    QNetworkRequest request(m_options.endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(secondsToMilliseconds(m_options.requestTimeoutSeconds));
    QNetworkReply *reply =
        m_network->post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    // Only the status is read; Qt would keep any body however long.
    ReplyBodyLimit::apply(reply, maximumAnswerBytes);
    m_inFlight = reply;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, ids] { batchFinished(reply, ids); });
}

void AnalyticsDeliveryWorker::batchFinished(QNetworkReply *reply, const QSet<QString> &ids)
{
    reply->deleteLater();
    m_inFlight = nullptr;
    const int statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const int count = int(ids.size());

    if (isSuccess(statusCode)) {
        m_queue.remove(ids);
        m_queue.save();
        m_retryDelaySeconds = 0;
        m_reportedOverflow = false;
        Q_EMIT batchDelivered(count);
    } else if (isRejection(statusCode)) {
        m_queue.remove(ids);
        m_queue.save();
        m_retryDelaySeconds = 0;
        qCWarning(lcAnalytics).noquote()
            << QStringLiteral(
                   "Analytics service rejected %1 signals with HTTP status %2; they were dropped.")
                   .arg(count)
                   .arg(statusCode);
        Q_EMIT batchRejected(statusCode, count);
    } else {
        retryLater(statusCode > 0 ? QStringLiteral("HTTP status %1").arg(statusCode)
                                  : reply->errorString());
        return;
    }

    if (m_stopping)
        sendNextBatch();
    else
        scheduleAfterActivity();
}

void AnalyticsDeliveryWorker::retryLater(const QString &reason)
{
    Q_EMIT deliveryFailed(reason);
    if (m_stopping) {
        finish();
        return;
    }
    if (m_retryDelaySeconds == 0) {
        qCInfo(lcAnalytics).noquote()
            << QStringLiteral(
                   "Analytics delivery failed (%1). The signals stay queued and are retried later.")
                   .arg(reason);
        m_retryDelaySeconds = m_options.initialRetryDelaySeconds;
    } else {
        m_retryDelaySeconds = std::min(2 * m_retryDelaySeconds, m_options.maxRetryDelaySeconds);
    }
    scheduleSend(m_retryDelaySeconds);
}

void AnalyticsDeliveryWorker::stop()
{
    m_stopping = true;
    m_sendTimer.stop();
    if (!delivers() || m_queue.isEmpty()) {
        finish();
        return;
    }
    // One last try regardless of any back-off; what is not delivered in time
    // stays in the queue file for the next run.
    m_shutdownDeadline.start(secondsToMilliseconds(m_options.shutdownFlushSeconds));
    sendNextBatch();
}

void AnalyticsDeliveryWorker::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_sendTimer.stop();
    m_shutdownDeadline.stop();
    if (QNetworkReply *reply = std::exchange(m_inFlight, nullptr)) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    thread()->quit();
}

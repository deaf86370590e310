#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

// How and where the delivery client sends signals. The endpoint comes from
// "analytics.json" (resources, or the user's file of the same schema in
// $XDG_CONFIG_HOME/Wrenlark/); the limits are the client's own and only
// tests change them.
struct AnalyticsDeliveryOptions
{
    // Where batches are posted. Empty: nothing leaves the machine and nothing
    // is queued.
    QUrl endpoint;
    // The queue of undelivered signals.
    QString queueFilePath = defaultQueueFilePath();
    // Signals per request; a full batch is sent at once.
    int batchSize = 50;
    // How long a partial batch waits for more signals.
    double flushIntervalSeconds = 10;
    // The oldest signals beyond this many are dropped.
    int maxQueuedSignals = 1000;
    // Back-off after a failed delivery: doubles from the first value up to
    // the second; a success resets it.
    double initialRetryDelaySeconds = 15;
    double maxRetryDelaySeconds = 900;
    // Transfer time-out of one request.
    double requestTimeoutSeconds = 30;
    // At shutdown, how long the client may keep sending what is queued.
    double shutdownFlushSeconds = 2;

    // $XDG_STATE_HOME/Wrenlark/analytics-queue.json
    static QString defaultQueueFilePath();
    // $XDG_CONFIG_HOME/Wrenlark/analytics.json
    static QString userConfigurationPath();
    // The endpoint of the user's file when it exists and is valid (an invalid
    // one is logged as an ERROR), otherwise of the built-in file.
    static QUrl configuredEndpoint();
    // Reads {"endpoint": "<url or empty>"}. Only https, or http to this
    // machine, is accepted, so signals never cross the network in clear text.
    static std::optional<QUrl> endpointFromJson(const QByteArray &json,
                                                QString *errorMessage = nullptr);
};

#pragma once

#include <QDBusConnection>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariantMap>

// The real `wrenlark` started with a settings folder of its own, on the
// test desktop's session bus or on another bus given by address.
class ResidentApp
{
public:
    explicit ResidentApp(QString busAddress = {});
    ~ResidentApp();

    // Writes the settings file before the start.
    void setSetting(const QString &key, const QVariant &value);
    QString settingsFile() const;
    // Before the start: points the "openai" provider at `endpoint` (an
    // OpenAI-compatible chat URL) with model "model-1" and a key stored in
    // the desktop's keyring by `wrenlark key set`; false when that failed.
    bool configureProvider(const QUrl &endpoint);
    // Before the start: analytics signals are delivered to `endpoint`. Until
    // a delivery succeeds they wait in the queue queuedAnalytics() reads.
    bool setAnalyticsEndpoint(const QUrl &endpoint);
    // The analytics signals waiting for delivery, oldest first, as stored
    // ({"type": ..., "payload": {...}}).
    QList<QJsonObject> queuedAnalytics() const;

    // Starts it and waits until it owns com.wrenlark.Wrenlark; false on failure.
    bool start(const QStringList &arguments = {});
    QProcess &process() { return m_process; }
    qint64 pid() const { return m_process.processId(); }

    // Runs `wrenlark ARGUMENTS` (a command) in the same environment, with
    // `extraEnvironment` ("NAME=value") added.
    struct Result
    {
        int exitCode = -1;
        QByteArray errors;
        qint64 elapsedMs = 0;
    };
    Result runCommand(const QStringList &arguments, int timeoutMs = 20000,
                      const QStringList &extraEnvironment = {}) const;

    QDBusConnection bus() const;
    // The pid owning com.wrenlark.Wrenlark on its bus; 0 when none.
    qint64 nameOwnerPid() const;
    QVariantMap diagnostics() const;
    QString log() const;
    // Waits until it ended; false when it did not in time.
    bool waitForExit(int timeoutMs = 10000);
    QProcessEnvironment environment() const { return m_environment; }

private:
    QString m_busAddress;
    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
    QProcess m_process;
};

#include "ResidentApp.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace {

QString binary()
{
    return qEnvironmentVariable("WRENLARK_BINARY");
}

} // namespace

ResidentApp::ResidentApp(QString busAddress)
    : m_busAddress(std::move(busAddress))
{
    m_environment = QProcessEnvironment::systemEnvironment();
    // The platform the application chooses for itself, not the tests' offscreen one.
    m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_environment.insert(QStringLiteral("HOME"), m_home.path());
    for (const char *folder : {"CONFIG", "STATE", "DATA", "CACHE"})
        m_environment.insert(QStringLiteral("XDG_%1_HOME").arg(QLatin1String(folder)),
                             m_home.filePath(QString::fromLatin1(folder).toLower()));
    if (!m_busAddress.isEmpty())
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    m_process.setProcessEnvironment(m_environment);
    m_process.setProgram(binary());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

ResidentApp::~ResidentApp()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QString ResidentApp::settingsFile() const
{
    return m_home.filePath(QStringLiteral("config/Wrenlark/Wrenlark.conf"));
}

void ResidentApp::setSetting(const QString &key, const QVariant &value)
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.setValue(key, value);
}

QDBusConnection ResidentApp::bus() const
{
    if (m_busAddress.isEmpty())
        return QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(m_busAddress, m_busAddress);
}

qint64 ResidentApp::nameOwnerPid() const
{
    QDBusConnectionInterface *interface = bus().interface();
    if (!interface ||
        !interface->isServiceRegistered(QStringLiteral("com.wrenlark.Wrenlark")).value())
        return 0;
    return interface->servicePid(QStringLiteral("com.wrenlark.Wrenlark")).value();
}

bool ResidentApp::start(const QStringList &arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000) {
        if (nameOwnerPid() == pid())
            return true;
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(20);
    }
    return false;
}

ResidentApp::Result ResidentApp::runCommand(const QStringList &arguments, int timeoutMs,
                                            const QStringList &extraEnvironment) const
{
    QProcess command;
    QProcessEnvironment environment = m_environment;
    for (const QString &entry : extraEnvironment)
        environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    command.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    command.start(binary(), arguments);
    Result result;
    // The event loop keeps turning: this process may show windows that the
    // command photographs, or own a clipboard it asks for.
    QEventLoop loop;
    QObject::connect(&command, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&command, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (command.state() != QProcess::NotRunning)
        loop.exec();
    if (command.state() != QProcess::NotRunning || command.error() == QProcess::FailedToStart) {
        command.kill();
        command.waitForFinished();
        return result;
    }
    result.elapsedMs = clock.elapsed();
    result.exitCode = command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1;
    result.errors = command.readAllStandardError();
    return result;
}

QVariantMap ResidentApp::diagnostics() const
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.wrenlark.Wrenlark"), QStringLiteral("/com/wrenlark/Wrenlark"),
        QStringLiteral("com.wrenlark.Shell"), QStringLiteral("Diagnostics"));
    const QDBusReply<QVariantMap> reply = bus().call(call, QDBus::Block, 5000);
    return reply.isValid() ? reply.value() : QVariantMap();
}

QString ResidentApp::log() const
{
    QFile file(m_home.filePath(QStringLiteral("state/Wrenlark/dev.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool ResidentApp::waitForExit(int timeoutMs)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

bool ResidentApp::configureProvider(const QUrl &endpoint)
{
    const QString config = m_environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    QDir().mkpath(config + QStringLiteral("/Wrenlark"));
    QFile catalog(config + QStringLiteral("/Wrenlark/model-catalog.json"));
    if (!catalog.open(QIODevice::WriteOnly))
        return false;
    const QJsonObject openai{
        {QStringLiteral("id"), QStringLiteral("openai")},
        {QStringLiteral("endpoint"), endpoint.toString()},
        {QStringLiteral("models"),
         QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("model-1")}}}}};
    catalog.write(
        QJsonDocument(QJsonObject{{QStringLiteral("providers"), QJsonArray{openai}}}).toJson());
    catalog.close();
    QProcess store;
    store.setProcessEnvironment(m_environment);
    store.start(binary(), {QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("openai")});
    store.write("sk-road-test\n");
    store.closeWriteChannel();
    return store.waitForFinished(20000) && store.exitCode() == 0;
}

bool ResidentApp::setAnalyticsEndpoint(const QUrl &endpoint)
{
    const QString config = m_environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    QDir().mkpath(config + QStringLiteral("/Wrenlark"));
    QFile file(config + QStringLiteral("/Wrenlark/analytics.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(
        QJsonDocument(QJsonObject{{QStringLiteral("endpoint"), endpoint.toString()}}).toJson());
    return true;
}

QList<QJsonObject> ResidentApp::queuedAnalytics() const
{
    QFile file(m_home.filePath(QStringLiteral("state/Wrenlark/analytics-queue.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QJsonObject> queued;
    const QJsonArray entries =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("signals")).toArray();
    for (const QJsonValue &entry : entries)
        queued.append(entry.toObject());
    return queued;
}

// Our side of the RemoteDesktop portal's contract, against a stand-in for
// xdg-desktop-portal on the private session bus: the calls in order with
// their options and D-Bus types, the restore token kept and handed back,
// a refusal that types nothing, the exact keysyms of a chord, and a session
// the desktop closes.
#include "platform/linux/keys/PortalKeyboardPermission.h"
#include "platform/linux/keys/RemoteDesktopPortalKeys.h"
#include "support/StandInPortal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

using Keys = QList<QPair<int, uint>>;

bool isUint(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<uint>();
}

} // namespace

class FakeRemoteDesktopPortal;

// A session object of the stand-in: records that we closed it.
class FakePortalSession : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")

public:
    explicit FakePortalSession(QStringList *calls, QObject *parent)
        : QObject(parent)
        , m_calls(calls)
    {
    }

public Q_SLOTS:
    void Close() { m_calls->append(QStringLiteral("Session.Close")); }

private:
    QStringList *m_calls;
};

// xdg-desktop-portal's RemoteDesktop interface on a bus connection of its
// own; every request is answered on the path the portal would give it,
// after the call's reply, as the portal does.
class FakeRemoteDesktopPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.RemoteDesktop")
    Q_PROPERTY(uint version READ version)

public:
    FakeRemoteDesktopPortal()
        : m_portal(QStringLiteral("fake-remote-desktop-portal"))
    {
    }
    ~FakeRemoteDesktopPortal() override
    {
        if (!sessionPath.isEmpty())
            m_portal.bus().unregisterObject(sessionPath);
    }

    bool start()
    {
        return m_portal.serve(this, QDBusConnection::ExportAllSlots |
                                        QDBusConnection::ExportAllProperties);
    }

    // The desktop ends the session (the user revoked it, say).
    void closeSession()
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            sessionPath, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Closed"));
        signal << QVariantMap();
        m_portal.bus().send(signal);
    }

    uint version() const { return 2; }

    uint startResponse = 0;
    bool handleAsObjectPath = false;
    bool answerStart = true;
    int sessionsStarted = 0;
    QStringList calls;
    QHash<QString, QVariantMap> options;
    QString parentWindow;
    QString sessionPath;
    QStringList keySessions;
    Keys keys;

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap &callOptions, const QDBusMessage &message)
    {
        record(QStringLiteral("CreateSession"), callOptions);
        if (!sessionPath.isEmpty())
            m_portal.bus().unregisterObject(sessionPath);
        sessionPath = StandInPortal::sessionPath(
            message, callOptions.value(QStringLiteral("session_handle_token")).toString());
        m_portal.bus().registerObject(sessionPath, new FakePortalSession(&calls, this),
                                      QDBusConnection::ExportAllSlots);
        // xdg-desktop-portal types the handle "s"; its documentation says "o".
        const QVariant handle = handleAsObjectPath
                                    ? QVariant::fromValue(QDBusObjectPath(sessionPath))
                                    : QVariant(sessionPath);
        return answer(message, callOptions, 0, {{QStringLiteral("session_handle"), handle}});
    }

    QDBusObjectPath SelectDevices(const QDBusObjectPath &session, const QVariantMap &callOptions,
                                  const QDBusMessage &message)
    {
        record(QStringLiteral("SelectDevices"), callOptions, session);
        return answer(message, callOptions, 0, {});
    }

    QDBusObjectPath Start(const QDBusObjectPath &session, const QString &parent,
                          const QVariantMap &callOptions, const QDBusMessage &message)
    {
        record(QStringLiteral("Start"), callOptions, session);
        parentWindow = parent;
        if (!answerStart)
            return QDBusObjectPath(requestPath(message, callOptions));
        QVariantMap results;
        if (startResponse == 0) {
            ++sessionsStarted;
            results.insert(QStringLiteral("devices"), uint(1));
            results.insert(QStringLiteral("restore_token"),
                           QStringLiteral("token-%1").arg(sessionsStarted));
        }
        return answer(message, callOptions, startResponse, results);
    }

    void NotifyKeyboardKeysym(const QDBusObjectPath &session, const QVariantMap &, int keysym,
                              uint state)
    {
        keySessions.append(session.path());
        keys.append({keysym, state});
    }

private:
    void record(const QString &method, const QVariantMap &callOptions,
                const QDBusObjectPath &session = {})
    {
        calls.append(method);
        options.insert(method, callOptions);
        if (!session.path().isEmpty() && session.path() != sessionPath)
            calls.append(QStringLiteral("wrong session: ") + session.path());
    }

    QString requestPath(const QDBusMessage &message, const QVariantMap &callOptions) const
    {
        return StandInPortal::requestPath(
            message, callOptions.value(QStringLiteral("handle_token")).toString());
    }

    QDBusObjectPath answer(const QDBusMessage &message, const QVariantMap &callOptions,
                           uint response, const QVariantMap &results)
    {
        const QString request = requestPath(message, callOptions);
        QTimer::singleShot(0, this, [this, request, response, results] {
            QDBusMessage signal = QDBusMessage::createSignal(
                request, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"));
            signal << response << results;
            m_portal.bus().send(signal);
        });
        return QDBusObjectPath(request);
    }

    StandInPortal m_portal;
};

class RemoteDesktopKeysTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void firstRequestAsksThenChordsAreTyped();
    void restoreTokenIsHandedBackAndReplaced();
    void refusedStartTypesNothing();
    void closedSessionIsNoLongerAvailable();
    void cancelClosesTheSessionBeingStarted();
    void doctorNamesThePortalRoad();

private:
    QString tokenFile() const { return m_folder->filePath(QStringLiteral("state/token")); }
    void writeToken(const QByteArray &token) const;
    QByteArray storedToken() const;

    std::unique_ptr<QTemporaryDir> m_folder;
};

void RemoteDesktopKeysTest::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("no session bus (run inside tests/support/desktop-session)");
    if (StandInPortal::isTaken())
        QSKIP("a real portal runs on this bus");
}

void RemoteDesktopKeysTest::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

void RemoteDesktopKeysTest::writeToken(const QByteArray &token) const
{
    QDir().mkpath(QFileInfo(tokenFile()).absolutePath());
    QFile file(tokenFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(token);
}

QByteArray RemoteDesktopKeysTest::storedToken() const
{
    QFile file(tokenFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void RemoteDesktopKeysTest::firstRequestAsksThenChordsAreTyped()
{
    FakeRemoteDesktopPortal portal;
    QVERIFY(portal.start());
    RemoteDesktopPortalKeys keys(tokenFile());
    QVERIFY(!keys.hasRestoreToken());
    QVERIFY(!keys.isAvailable());

    // The first request starts the session and is not typed.
    QString error;
    QVERIFY(!keys.sendChord({Qt::ControlModifier, KeySyms::v}, &error));
    QVERIFY2(error.contains(QStringLiteral("allow it when your desktop asks")), qPrintable(error));
    QTRY_VERIFY(keys.isAvailable());
    QCOMPARE(portal.calls, (QStringList{QStringLiteral("CreateSession"),
                                        QStringLiteral("SelectDevices"), QStringLiteral("Start")}));
    for (const QVariantMap &options : std::as_const(portal.options))
        QVERIFY(!options.value(QStringLiteral("handle_token")).toString().isEmpty());
    QVERIFY(portal.options[QStringLiteral("CreateSession")].contains(
        QStringLiteral("session_handle_token")));
    const QVariantMap devices = portal.options[QStringLiteral("SelectDevices")];
    QVERIFY(isUint(devices.value(QStringLiteral("types"))));
    QCOMPARE(devices.value(QStringLiteral("types")).toUInt(), 1u);
    QVERIFY(isUint(devices.value(QStringLiteral("persist_mode"))));
    QCOMPARE(devices.value(QStringLiteral("persist_mode")).toUInt(), 2u);
    QVERIFY(!devices.contains(QStringLiteral("restore_token")));
    QCOMPARE(portal.parentWindow, QString());
    QCOMPARE(storedToken(), QByteArray("token-1"));
    QVERIFY(portal.keys.isEmpty());

    // Modifiers down, the key down and up, modifiers up in reverse.
    QVERIFY(keys.sendChord({Qt::ControlModifier, KeySyms::v}, &error));
    QTRY_COMPARE(portal.keys, (Keys{{0xffe3, 1}, {0x76, 1}, {0x76, 0}, {0xffe3, 0}}));
    portal.keys.clear();
    QVERIFY(keys.sendChord({Qt::ShiftModifier, KeySyms::insert}, &error));
    QTRY_COMPARE(portal.keys, (Keys{{0xffe1, 1}, {0xff63, 1}, {0xff63, 0}, {0xffe1, 0}}));
    portal.keys.clear();
    QVERIFY(keys.sendChord({Qt::ControlModifier | Qt::ShiftModifier, KeySyms::c}, &error));
    QTRY_COMPARE(portal.keys,
                 (Keys{{0xffe3, 1}, {0xffe1, 1}, {0x63, 1}, {0x63, 0}, {0xffe1, 0}, {0xffe3, 0}}));
    for (const QString &session : std::as_const(portal.keySessions))
        QCOMPARE(session, portal.sessionPath);
    QCOMPARE(portal.calls.size(), 3);
}

void RemoteDesktopKeysTest::restoreTokenIsHandedBackAndReplaced()
{
    writeToken("token-from-last-run\n");
    FakeRemoteDesktopPortal portal;
    QVERIFY(portal.start());
    RemoteDesktopPortalKeys keys(tokenFile());
    QVERIFY(keys.hasRestoreToken());
    // As the resident application does at start: no key request needed.
    keys.startSession();
    QCOMPARE(keys.state(), RemoteDesktopPortalKeys::State::starting);
    QTRY_VERIFY(keys.isAvailable());
    const QVariant token =
        portal.options[QStringLiteral("SelectDevices")].value(QStringLiteral("restore_token"));
    QCOMPARE(token.metaType(), QMetaType::fromType<QString>());
    QCOMPARE(token.toString(), QStringLiteral("token-from-last-run"));
    // The new token replaced the old one, and nothing else was left behind.
    QCOMPARE(storedToken(), QByteArray("token-1"));
    QCOMPARE(QDir(QFileInfo(tokenFile()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("token")});
    // Starting again while running asks nothing.
    keys.startSession();
    QCOMPARE(portal.calls.count(QStringLiteral("CreateSession")), 1);

    // What Settings shows: kept by the desktop. Revoked, the session ends
    // and the token is forgotten, so the desktop asks again.
    PortalKeyboardPermission permission(
        std::shared_ptr<RemoteDesktopPortalKeys>(&keys, [](RemoteDesktopPortalKeys *) {}), true);
    QCOMPARE(permission.grant(), KeyboardControlPermission::Grant::kept);
    permission.revoke();
    QCOMPARE(permission.grant(), KeyboardControlPermission::Grant::notGranted);
    QVERIFY(!QFile::exists(tokenFile()));
    QTRY_VERIFY(portal.calls.contains(QStringLiteral("Session.Close")));
}

void RemoteDesktopKeysTest::refusedStartTypesNothing()
{
    writeToken("token-revoked");
    FakeRemoteDesktopPortal portal;
    portal.startResponse = 1;
    QVERIFY(portal.start());
    RemoteDesktopPortalKeys keys(tokenFile());
    QSignalSpy states(&keys, &RemoteDesktopPortalKeys::stateChanged);

    QString error;
    QVERIFY(!keys.sendChord({Qt::ControlModifier, KeySyms::v}, &error));
    QVERIFY(!error.isEmpty());
    QTRY_COMPARE(keys.state(), RemoteDesktopPortalKeys::State::idle);
    QVERIFY2(keys.lastError().contains(QStringLiteral("did not allow")),
             qPrintable(keys.lastError()));
    QVERIFY(!keys.isAvailable());
    QVERIFY(!QFile::exists(tokenFile()));
    QTRY_VERIFY(portal.calls.contains(QStringLiteral("Session.Close")));

    // The next request asks again and is not typed either.
    error.clear();
    QVERIFY(!keys.sendChord({Qt::ControlModifier, KeySyms::v}, &error));
    QVERIFY(!error.isEmpty());
    QTRY_COMPARE(portal.calls.count(QStringLiteral("Start")), 2);
    QTRY_COMPARE(keys.state(), RemoteDesktopPortalKeys::State::idle);
    QVERIFY(
        !portal.options[QStringLiteral("SelectDevices")].contains(QStringLiteral("restore_token")));
    QVERIFY(portal.keys.isEmpty());
    QVERIFY(states.size() >= 4);
}

void RemoteDesktopKeysTest::closedSessionIsNoLongerAvailable()
{
    FakeRemoteDesktopPortal portal;
    portal.handleAsObjectPath = true;
    QVERIFY(portal.start());
    RemoteDesktopPortalKeys keys(tokenFile());
    keys.startSession();
    QTRY_VERIFY(keys.isAvailable());

    portal.closeSession();
    QTRY_VERIFY(!keys.isAvailable());
    QVERIFY(!keys.lastError().isEmpty());
    QString error;
    QVERIFY(!keys.sendChord({Qt::ControlModifier, KeySyms::v}, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(portal.keys.isEmpty());
    // That request started a new session, which types the next chord.
    QTRY_VERIFY(keys.isAvailable());
    QCOMPARE(portal.options[QStringLiteral("SelectDevices")].value(QStringLiteral("restore_token")),
             QVariant(QStringLiteral("token-1")));
    QVERIFY(keys.sendChord({Qt::ControlModifier, KeySyms::v}, &error));
    QTRY_COMPARE(portal.keys.size(), 4);
}

void RemoteDesktopKeysTest::cancelClosesTheSessionBeingStarted()
{
    FakeRemoteDesktopPortal portal;
    portal.answerStart = false;
    QVERIFY(portal.start());
    RemoteDesktopPortalKeys keys(tokenFile());
    keys.startSession();
    QTRY_COMPARE(portal.calls.count(QStringLiteral("Start")), 1);
    keys.cancel();
    QCOMPARE(keys.state(), RemoteDesktopPortalKeys::State::idle);
    QVERIFY(keys.lastError().isEmpty());
    QTRY_VERIFY(portal.calls.contains(QStringLiteral("Session.Close")));
    QVERIFY(!keys.isAvailable());
    QVERIFY(!QFile::exists(tokenFile()));
}

void RemoteDesktopKeysTest::doctorNamesThePortalRoad()
{
    FakeRemoteDesktopPortal portal;
    QVERIFY(portal.start());
    // A Wayland session with XWayland (the private X server) whose portal
    // offers RemoteDesktop; nobody allowed the keys yet.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wrenlark-test-none"));
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_folder->path());
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess doctor;
    doctor.setProcessEnvironment(environment);
    doctor.start(qEnvironmentVariable("WRENLARK_BINARY"), {QStringLiteral("doctor")});
    // The doctor asks this process's stand-in: the event loop keeps turning.
    QTRY_VERIFY_WITH_TIMEOUT(doctor.state() == QProcess::NotRunning, 20000);
    const QString report = QString::fromUtf8(doctor.readAllStandardOutput());
    QVERIFY2(report.contains(QStringLiteral("Key synthesis: RemoteDesktop portal: ")),
             qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("RemoteDesktop consent: not given yet")),
             qPrintable(report));
    // Asking about the portal starts no session.
    QVERIFY(portal.calls.isEmpty());
}

QTEST_GUILESS_MAIN(RemoteDesktopKeysTest)
#include "test_remote_desktop_keys.moc"

// Our side of the GlobalShortcuts portal's contract, against a stand-in for
// xdg-desktop-portal on the private session bus: the session handle in
// either D-Bus type, the activation token of a press reaching whoever shows
// the bar, a portal that is slow to reply or never answers, and the answer
// to a request given up.
#include "platform/linux/shortcuts/PortalShortcutBackend.h"
#include "platform/linux/shortcuts/SettingsGlobalShortcutService.h"
#include "support/StandInPortal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

} // namespace

// One entry of BindShortcuts' a(sa{sv}).
struct BoundShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const BoundShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, BoundShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

Q_DECLARE_METATYPE(BoundShortcut)

// A request object of the stand-in: records that we closed it.
class FakePortalRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    FakePortalRequest(QString path, QStringList *calls, QObject *parent)
        : QObject(parent)
        , m_path(std::move(path))
        , m_calls(calls)
    {
    }

public Q_SLOTS:
    void Close() { m_calls->append(QStringLiteral("Request.Close ") + m_path); }

private:
    QString m_path;
    QStringList *m_calls;
};

// xdg-desktop-portal's GlobalShortcuts interface on a bus connection of its
// own. It answers on the request paths the portal would use, after the
// call's reply; it can hold its replies back, or never send a Response.
class FakeGlobalShortcutsPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    FakeGlobalShortcutsPortal()
        : m_portal(QStringLiteral("fake-global-shortcuts-portal"))
    {
        qDBusRegisterMetaType<BoundShortcut>();
        qDBusRegisterMetaType<QList<BoundShortcut>>();
    }
    ~FakeGlobalShortcutsPortal() override
    {
        for (const QString &path : std::as_const(m_objects))
            m_portal.bus().unregisterObject(path);
    }

    bool start()
    {
        return m_portal.serve(this, QDBusConnection::ExportAllSlots |
                                        QDBusConnection::ExportAllProperties);
    }

    uint version() const { return 1; }

    void activate(const QString &id, const QVariantMap &options)
    {
        QDBusMessage signal = QDBusMessage::createSignal(StandInPortal::path, shortcutsInterface,
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(1234)
               << options;
        m_portal.bus().send(signal);
    }

    void respond(const QString &request, uint response, const QVariantMap &results)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << response << results;
        m_portal.bus().send(signal);
    }

    // Sends the replies held back.
    void releaseReplies()
    {
        for (const QDBusMessage &reply : std::as_const(heldReplies))
            m_portal.bus().send(reply);
        heldReplies.clear();
    }

    // How the desktop binds: from BindShortcuts (xdg-desktop-portal's
    // documentation, GNOME), from CreateSession only (KDE Plasma 5.27), or
    // not at all, while answering success.
    enum class Binding { fromBind, fromCreateSession, never };

    bool handleAsObjectPath = false;
    bool holdReplies = false;
    bool answerCreateSession = true;
    Binding binding = Binding::fromBind;
    QStringList calls;
    QStringList requests;
    QString sessionPath;
    QList<QDBusMessage> heldReplies;
    QVariantMap boundShortcuts;

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap &options, const QDBusMessage &message)
    {
        calls.append(QStringLiteral("CreateSession"));
        const QString request = requestPath(message, options);
        const QString session = StandInPortal::sessionPath(
            message, options.value(QStringLiteral("session_handle_token")).toString());
        if (answerCreateSession) {
            sessionPath = session;
            // xdg-desktop-portal types the handle "s"; its documentation says "o".
            const QVariant handle = handleAsObjectPath
                                        ? QVariant::fromValue(QDBusObjectPath(session))
                                        : QVariant(session);
            QVariantMap results{{QStringLiteral("session_handle"), handle}};
            if (binding == Binding::fromCreateSession) {
                QList<BoundShortcut> shortcuts;
                options.value(QStringLiteral("shortcuts")).value<QDBusArgument>() >> shortcuts;
                for (const BoundShortcut &shortcut : std::as_const(shortcuts))
                    boundShortcuts.insert(shortcut.id, shortcut.properties);
                results.insert(QStringLiteral("shortcuts"), boundList());
            }
            respondLater(request, 0, results);
        }
        return reply(message, request);
    }

    QDBusObjectPath BindShortcuts(const QDBusObjectPath &session,
                                  const QList<BoundShortcut> &shortcuts, const QString &,
                                  const QVariantMap &options, const QDBusMessage &message)
    {
        calls.append(QStringLiteral("BindShortcuts ") + session.path());
        if (binding == Binding::fromBind) {
            for (const BoundShortcut &shortcut : shortcuts)
                boundShortcuts.insert(shortcut.id, shortcut.properties);
        }
        const QString request = requestPath(message, options);
        respondLater(request, 0, {{QStringLiteral("shortcuts"), boundList()}});
        return reply(message, request);
    }

private:
    QVariant boundList() const
    {
        QList<BoundShortcut> list;
        for (auto it = boundShortcuts.cbegin(); it != boundShortcuts.cend(); ++it)
            list.append({it.key(), it.value().toMap()});
        return QVariant::fromValue(list);
    }

    QString requestPath(const QDBusMessage &message, const QVariantMap &options)
    {
        const QString path = StandInPortal::requestPath(
            message, options.value(QStringLiteral("handle_token")).toString());
        requests.append(path);
        m_objects.append(path);
        m_portal.bus().registerObject(path, new FakePortalRequest(path, &calls, this),
                                      QDBusConnection::ExportAllSlots);
        return path;
    }

    QDBusObjectPath reply(const QDBusMessage &message, const QString &request)
    {
        if (holdReplies) {
            message.setDelayedReply(true);
            heldReplies.append(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        }
        return QDBusObjectPath(request);
    }

    void respondLater(const QString &request, uint response, const QVariantMap &results)
    {
        QTimer::singleShot(0, this, [=, this] {
            if (holdReplies)
                return; // a portal answers after its reply
            respond(request, response, results);
        });
    }

    StandInPortal m_portal;
    QStringList m_objects;
};

class PortalShortcutsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void bindsInTheSessionItWasGiven_data();
    void bindsInTheSessionItWasGiven();
    void activationTokenReachesWhoShowsTheBar_data();
    void activationTokenReachesWhoShowsTheBar();
    void slowPortalLeavesTheEventLoopTurning();
    void answerToARequestGivenUpIsIgnored();
    void aShortcutTheDesktopLeavesUnboundIsRefused();

private:
    std::unique_ptr<SettingsGlobalShortcutService> makeService();

    std::unique_ptr<QTemporaryDir> m_folder;
};

void PortalShortcutsTest::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("no session bus (run inside tests/support/desktop-session)");
    if (StandInPortal::isTaken())
        QSKIP("a real portal runs on this bus");
}

std::unique_ptr<SettingsGlobalShortcutService> PortalShortcutsTest::makeService()
{
    m_folder = std::make_unique<QTemporaryDir>();
    const QString settings = m_folder->filePath(QStringLiteral("settings.json"));
    auto service = std::make_unique<SettingsGlobalShortcutService>(
        std::make_unique<PortalShortcutBackend>(), settings, nullptr);
    service->setShortcut(GlobalShortcutService::toggleWrenlark, QStringLiteral("Alt+Space"));
    return service;
}

void PortalShortcutsTest::bindsInTheSessionItWasGiven_data()
{
    QTest::addColumn<bool>("handleAsObjectPath");
    QTest::newRow("handle typed s, as xdg-desktop-portal sends it") << false;
    QTest::newRow("handle typed o, as documented") << true;
}

void PortalShortcutsTest::bindsInTheSessionItWasGiven()
{
    QFETCH(bool, handleAsObjectPath);
    FakeGlobalShortcutsPortal portal;
    portal.handleAsObjectPath = handleAsObjectPath;
    QVERIFY(portal.start());
    const auto service = makeService();

    QTRY_COMPARE(portal.calls.size(), 2);
    QCOMPARE(portal.calls.at(0), QStringLiteral("CreateSession"));
    QCOMPARE(portal.calls.at(1), QStringLiteral("BindShortcuts ") + portal.sessionPath);
    const QVariantMap toggle =
        portal.boundShortcuts.value(GlobalShortcutService::toggleWrenlark).toMap();
    QCOMPARE(toggle.value(QStringLiteral("preferred_trigger")).toString(),
             QStringLiteral("ALT+space"));
    QVERIFY(service->registrationError(GlobalShortcutService::toggleWrenlark).isEmpty());

    // Presses in our session count, presses in another do not.
    QSignalSpy activated(service.get(), &GlobalShortcutService::activated);
    portal.activate(GlobalShortcutService::toggleWrenlark, {});
    QTRY_COMPARE(activated.size(), 1);
    QCOMPARE(activated.at(0).at(0).toString(), GlobalShortcutService::toggleWrenlark);
    const QString ours =
        std::exchange(portal.sessionPath, StandInPortal::path + QStringLiteral("/session/x/y"));
    portal.activate(GlobalShortcutService::toggleWrenlark, {});
    portal.sessionPath = ours;
    portal.activate(GlobalShortcutService::toggleWrenlark, {});
    QTRY_COMPARE(activated.size(), 2);
}

void PortalShortcutsTest::activationTokenReachesWhoShowsTheBar_data()
{
    QTest::addColumn<QVariantMap>("options");
    QTest::addColumn<QByteArray>("token");
    QTest::newRow("with a token") << QVariantMap{{QStringLiteral("activation_token"),
                                                  QStringLiteral("sway-token-17")}}
                                  << QByteArray("sway-token-17");
    QTest::newRow("without") << QVariantMap() << QByteArray();
}

void PortalShortcutsTest::activationTokenReachesWhoShowsTheBar()
{
    QFETCH(QVariantMap, options);
    QFETCH(QByteArray, token);
    FakeGlobalShortcutsPortal portal;
    QVERIFY(portal.start());
    const auto service = makeService();
    QTRY_COMPARE(portal.calls.size(), 2);

    // What the resident application reads when it shows the bar.
    QList<QByteArray> seen;
    connect(service.get(), &GlobalShortcutService::activated, this,
            [&](const QString &, quint32) { seen.append(service->pressActivationToken()); });
    portal.activate(GlobalShortcutService::toggleWrenlark, options);
    QTRY_COMPARE(seen.size(), 1);
    QCOMPARE(seen.at(0), token);
    // It belongs to that press alone.
    QVERIFY(service->pressActivationToken().isEmpty());
}

void PortalShortcutsTest::slowPortalLeavesTheEventLoopTurning()
{
    FakeGlobalShortcutsPortal portal;
    portal.holdReplies = true;
    QVERIFY(portal.start());
    const auto service = makeService();

    // The stand-in lives on this thread: it only sees the call if waiting for
    // the reply does not stop the event loop.
    QTRY_COMPARE(portal.calls, QStringList{QStringLiteral("CreateSession")});
    QVERIFY(service->registrationError(GlobalShortcutService::toggleWrenlark).isEmpty());
    portal.releaseReplies();
    portal.holdReplies = false;
    portal.respond(
        portal.requests.at(0), 0,
        {{QStringLiteral("session_handle"), StandInPortal::path + QStringLiteral("/session/a/b")}});
    portal.sessionPath = StandInPortal::path + QStringLiteral("/session/a/b");
    QTRY_COMPARE(portal.calls.size(), 2);
    QCOMPARE(portal.calls.at(1), QStringLiteral("BindShortcuts ") + portal.sessionPath);
}

void PortalShortcutsTest::answerToARequestGivenUpIsIgnored()
{
    FakeGlobalShortcutsPortal portal;
    portal.answerCreateSession = false; // the user never answers
    QVERIFY(portal.start());
    const auto service = makeService();
    QTRY_COMPARE(portal.calls.size(), 1);
    const QString firstRequest = portal.requests.at(0);

    // A change gives the waiting request up, and the portal is told so.
    portal.answerCreateSession = true;
    service->setShortcut(GlobalShortcutService::toggleWrenlark, QStringLiteral("Ctrl+Alt+W"));
    QTRY_VERIFY(portal.calls.contains(QStringLiteral("Request.Close ") + firstRequest));
    QTRY_COMPARE(portal.calls.filter(QStringLiteral("BindShortcuts")).size(), 1);
    const QString session = portal.sessionPath;

    // A late answer to the first request starts nothing.
    portal.respond(firstRequest, 0,
                   {{QStringLiteral("session_handle"),
                     StandInPortal::path + QStringLiteral("/session/old/1")}});
    QSignalSpy activated(service.get(), &GlobalShortcutService::activated);
    portal.activate(GlobalShortcutService::toggleWrenlark, {});
    QTRY_COMPARE(activated.size(), 1);
    QCOMPARE(portal.calls.filter(QStringLiteral("BindShortcuts")).size(), 1);
    QCOMPARE(portal.sessionPath, session);
    QCOMPARE(portal.boundShortcuts.value(GlobalShortcutService::toggleWrenlark)
                 .toMap()
                 .value(QStringLiteral("preferred_trigger"))
                 .toString(),
             QStringLiteral("CTRL+ALT+w"));
}

// KDE Plasma binds what CreateSession names and nothing from BindShortcuts
// (which would open its System Settings): no BindShortcuts is sent. A
// desktop that answers success but binds nothing refuses the shortcut.
void PortalShortcutsTest::aShortcutTheDesktopLeavesUnboundIsRefused()
{
    FakeGlobalShortcutsPortal plasma;
    plasma.binding = FakeGlobalShortcutsPortal::Binding::fromCreateSession;
    QVERIFY(plasma.start());
    auto service = makeService();
    QTRY_VERIFY(plasma.boundShortcuts.contains(GlobalShortcutService::toggleWrenlark));
    // A BindShortcuts would follow at once (a slow machine may let it slip
    // past this look, never make it fail wrongly).
    QTest::qWait(100);
    QCOMPARE(plasma.calls, QStringList{QStringLiteral("CreateSession")});
    QVERIFY(service->registrationError(GlobalShortcutService::toggleWrenlark).isEmpty());
    service.reset();
    plasma.binding = FakeGlobalShortcutsPortal::Binding::never;
    plasma.boundShortcuts.clear();
    plasma.calls.clear();

    service = makeService();
    QTRY_VERIFY(!service->registrationError(GlobalShortcutService::toggleWrenlark).isEmpty());
    QCOMPARE(plasma.calls.filter(QStringLiteral("BindShortcuts")).size(), 1);
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    PortalShortcutsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_portal_shortcuts.moc"

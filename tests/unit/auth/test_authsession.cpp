#include "core/auth/OpenAIProPlusAuthManager.h"
#include "support/FakeSecretStore.h"
#include "support/TestSandbox.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {
const QString service = QStringLiteral("com.wrenlark.test");
const QString account = QStringLiteral("openai_pro_plus_oauth_session");
} // namespace

class TestAuthSession : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeSecretStore> m_backend;
    std::unique_ptr<OpenAIProPlusAuthManager> m_manager;

    QByteArray storedBytes() const { return m_backend->copyMatching(service, account).payload; }

private Q_SLOTS:
    void init()
    {
        m_backend = std::make_shared<FakeSecretStore>();
        m_manager = std::make_unique<OpenAIProPlusAuthManager>(KeychainStore(service, m_backend));
    }

    void sessionWithoutOptionalsOmitsTheirKeys()
    {
        m_manager->save({QStringLiteral("rt"), QStringLiteral("at"), 1700000000.25, {}, {}});
        const QJsonObject stored = QJsonDocument::fromJson(storedBytes()).object();
        QCOMPARE(stored.keys(),
                 (QStringList{QStringLiteral("accessToken"), QStringLiteral("expiresAt"),
                              QStringLiteral("refreshToken")}));
        QVERIFY(!storedBytes().contains(' '));
        const auto read = m_manager->storedSession();
        QVERIFY(read);
        QCOMPARE(read->expiresAt, 1700000000.25);
        QCOMPARE(read->accountID, std::nullopt);
        QCOMPARE(read->email, std::nullopt);
    }

    void fullSessionRoundTripsAndIgnoresUnknownKeys()
    {
        OpenAIProPlusAuthSession session{QStringLiteral("rt"), QStringLiteral("at"), 1.5e9,
                                         QStringLiteral("acct-7"), QStringLiteral("a@b.c")};
        m_manager->save(session);
        QCOMPARE(m_manager->storedSession(), session);
        m_backend->update(service, account,
                          R"({"refreshToken":"r","accessToken":"a","expiresAt":12,"future":[1]})");
        QCOMPARE(m_manager->storedSession(),
                 (OpenAIProPlusAuthSession{QStringLiteral("r"), QStringLiteral("a"), 12, {}, {}}));
    }

    void unreadableItemsCountAsNotConnected_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("not json") << QByteArray("hello");
        QTest::newRow("cut short") << QByteArray("{\"refreshToken\":\"r\",\"accessTok");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("missing expiry") << QByteArray(R"({"refreshToken":"r","accessToken":"a"})");
        QTest::newRow("expiry as text")
            << QByteArray(R"({"refreshToken":"r","accessToken":"a","expiresAt":"12"})");
        QTest::newRow("email as number")
            << QByteArray(R"({"refreshToken":"r","accessToken":"a","expiresAt":1,"email":5})");
    }

    void unreadableItemsCountAsNotConnected()
    {
        QFETCH(QByteArray, payload);
        m_backend->add(service, account, payload);
        QCOMPARE(m_manager->storedSession(), std::nullopt);
        QCOMPARE(m_manager->connectionSummary(), std::nullopt);
        QCOMPARE(m_backend->itemCount(), 1); // nothing deleted
    }

    void connectionSummaryPrefersEmailThenAccount()
    {
        QCOMPARE(m_manager->connectionSummary(), std::nullopt);
        m_manager->save(
            {QStringLiteral("r"), QStringLiteral("a"), 1, QStringLiteral("acct-7"), QString()});
        QCOMPARE(m_manager->connectionSummary(), QStringLiteral("acct-7"));
        m_manager->save({QStringLiteral("r"), QStringLiteral("a"), 1, QStringLiteral("acct-7"),
                         QStringLiteral("me@example.com")});
        QCOMPARE(m_manager->connectionSummary(), QStringLiteral("me@example.com"));
        m_manager->save({QStringLiteral("r"), QStringLiteral("a"), 1, QString(), {}});
        QCOMPARE(m_manager->connectionSummary(), QStringLiteral("Connected"));
    }

    void disconnectDeletesTheItemAndLogs()
    {
        m_manager->save({QStringLiteral("r"), QStringLiteral("a"), 1, {}, {}});
        m_manager->disconnect();
        QCOMPARE(m_backend->itemCount(), 0);
        QCOMPARE(m_manager->storedSession(), std::nullopt);
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[INFO] Disconnected OpenAI Pro/Plus session.")));
    }

    void sessionThatCannotBeEncodedIsNotStored()
    {
        m_manager->save({QStringLiteral("r"), QStringLiteral("a"), qInf(), {}, {}});
        QCOMPARE(m_backend->itemCount(), 0);
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[ERROR] Failed to encode OpenAI Pro/Plus OAuth session.")));
    }
};

QTEST_GUILESS_MAIN(TestAuthSession)
#include "test_authsession.moc"

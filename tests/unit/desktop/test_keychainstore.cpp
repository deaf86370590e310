#include "core/desktop/KeychainStore.h"
#include "support/FakeSecretStore.h"
#include "support/TestSandbox.h"

#include <QTest>

class TestKeychainStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void missingItemReadsNothingSilently()
    {
        auto backend = std::make_shared<FakeSecretStore>();
        KeychainStore store(QStringLiteral("com.wrenlark"), backend);
        QCOMPARE(store.read(QStringLiteral("openai_api_key")), std::nullopt);
        QVERIFY(!TestSandbox::flushedLog().contains(QStringLiteral("openai_api_key")));
    }

    void saveAddsThenUpdatesInPlace()
    {
        auto backend = std::make_shared<FakeSecretStore>();
        KeychainStore store(QStringLiteral("com.wrenlark"), backend);
        store.save(QStringLiteral("k"), QStringLiteral("first"));
        store.save(QStringLiteral("k"), QStringLiteral("sécond ✓"));
        QCOMPARE(backend->calls(), (QStringList{QStringLiteral("update k"), QStringLiteral("add k"),
                                                QStringLiteral("update k")}));
        QCOMPARE(backend->itemCount(), 1);
        QCOMPARE(store.read(QStringLiteral("k")), QStringLiteral("sécond ✓"));
    }

    void invalidUtf8ReadsNothing()
    {
        auto backend = std::make_shared<FakeSecretStore>();
        backend->add(QStringLiteral("com.wrenlark"), QStringLiteral("k"),
                     QByteArray("\xff\xfe", 2));
        KeychainStore store(QStringLiteral("com.wrenlark"), backend);
        QCOMPARE(store.read(QStringLiteral("k")), std::nullopt);
    }

    void failuresAreLoggedAndSwallowed()
    {
        auto backend = std::make_shared<FakeSecretStore>();
        KeychainStore store(QStringLiteral("com.wrenlark"), backend);
        store.save(QStringLiteral("k"), QStringLiteral("v"));
        backend->failWith(2, QStringLiteral("Cannot unlock"));
        QCOMPARE(store.read(QStringLiteral("k")), std::nullopt);
        store.save(QStringLiteral("k"), QStringLiteral("other"));
        store.deleteItem(QStringLiteral("k"));
        backend->stopFailing();
        QCOMPARE(store.read(QStringLiteral("k")), QStringLiteral("v"));
        const QString log = TestSandbox::flushedLog();
        QVERIFY(log.contains(QStringLiteral("[ERROR] Keychain read failed for service=com.wrenlark "
                                            "account=k: 2 (Cannot unlock).")));
        QVERIFY(log.contains(
            QStringLiteral("Keychain update failed for service=com.wrenlark account=k")));
        QVERIFY(log.contains(
            QStringLiteral("Keychain delete failed for service=com.wrenlark account=k")));
    }

    void deletingMissingItemIsSilent()
    {
        auto backend = std::make_shared<FakeSecretStore>();
        KeychainStore store(QStringLiteral("com.wrenlark"), backend);
        store.deleteItem(QStringLiteral("never-written"));
        QVERIFY(!TestSandbox::flushedLog().contains(QStringLiteral("never-written")));
    }
};

QTEST_GUILESS_MAIN(TestKeychainStore)
#include "test_keychainstore.moc"

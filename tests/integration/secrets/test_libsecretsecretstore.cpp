// The keychain store on the real Secret Service (the private gnome-keyring of
// tests/support/desktop-session).

#include "core/desktop/KeychainStore.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "support/SecretServiceTestEnvironment.h"
#include "support/TestSandbox.h"

#include <QProcess>
#include <QTest>
#include <QUuid>
#include <QtConcurrent>
#include <numeric>

namespace {

// secret-tool, the Secret Service's own command-line client, as an outside
// witness of what is really stored.
QByteArray secretTool(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral("secret-tool"), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(10000))
        return "<secret-tool did not finish>";
    return process.readAllStandardOutput() + process.readAllStandardError();
}

} // namespace

class TestLibsecretSecretStore : public QObject
{
    Q_OBJECT

    // A service name of this run alone, so nothing else in the keyring is touched.
    const QString m_service =
        QStringLiteral("com.wrenlark.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::shared_ptr<LibsecretSecretStore> m_backend = std::make_shared<LibsecretSecretStore>();

    QStringList attributes(const QString &account) const
    {
        return {QStringLiteral("service"), m_service, QStringLiteral("account"), account};
    }

    int itemCount(const QString &account) const
    {
        const QByteArray listing = secretTool(
            QStringList{QStringLiteral("search"), QStringLiteral("--all")} + attributes(account));
        return int(listing.count("attribute.account = "));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto reason = SecretServiceTestEnvironment::unavailableReason())
            QSKIP(qPrintable(*reason));
        QVERIFY(m_backend->isAvailable());
    }

    void cleanupTestCase()
    {
        if (!SecretServiceTestEnvironment::unavailableReason())
            secretTool(QStringList{QStringLiteral("clear"), QStringLiteral("service"), m_service});
    }

    void itemLifecycleIsSeenByOtherClients()
    {
        KeychainStore store(m_service, m_backend);
        const QString account = QStringLiteral("openai_api_key");
        QCOMPARE(store.read(account), std::nullopt);

        store.save(account, QStringLiteral("sk-first"));
        QCOMPARE(secretTool(QStringList{QStringLiteral("lookup")} + attributes(account)),
                 QByteArray("sk-first"));

        const QString second = QStringLiteral("sk-sécond ✓");
        store.save(account, second);
        QCOMPARE(store.read(account), second);
        QCOMPARE(itemCount(account), 1);

        store.save(account, QString()); // an empty payload is still an item
        QCOMPARE(store.read(account), QString());

        store.deleteItem(account);
        QCOMPARE(store.read(account), std::nullopt);
        QCOMPARE(itemCount(account), 0);
        store.deleteItem(account);

        // Not found is its own answer, never a failure: nothing is logged.
        QCOMPARE(m_backend->update(m_service, account, "x").status,
                 SecretStore::Status::itemNotFound);
        QCOMPARE(m_backend->remove(m_service, account).status, SecretStore::Status::itemNotFound);
        QVERIFY(!TestSandbox::flushedLog().contains(account));
    }

    void itemsWrittenByOtherToolsAreUsed()
    {
        KeychainStore store(m_service, m_backend);
        secretTool(QStringList{QStringLiteral("store"), QStringLiteral("--label=outside")} +
                       attributes(QStringLiteral("outside")),
                   "from secret-tool");
        QCOMPARE(store.read(QStringLiteral("outside")), QStringLiteral("from secret-tool"));
        store.save(QStringLiteral("outside"), QStringLiteral("replaced"));
        QCOMPARE(itemCount(QStringLiteral("outside")), 1);
        QCOMPARE(secretTool(QStringList{QStringLiteral("lookup")} +
                            attributes(QStringLiteral("outside"))),
                 QByteArray("replaced"));

        // Bytes that are not UTF-8 read as nothing, silently.
        secretTool(QStringList{QStringLiteral("store"), QStringLiteral("--label=binary")} +
                       attributes(QStringLiteral("binary")),
                   QByteArray("\xff\xfe\x00", 3));
        QCOMPARE(store.read(QStringLiteral("binary")), std::nullopt);
        QVERIFY(!TestSandbox::flushedLog().contains(QStringLiteral("binary")));
    }

    void callsFromManyThreadsAtOnce()
    {
        KeychainStore store(m_service, m_backend);
        QList<int> indexes(12);
        std::iota(indexes.begin(), indexes.end(), 0);
        const auto account = [](int i) { return QStringLiteral("thread-%1").arg(i); };
        const auto value = [](int i) { return QStringLiteral("value %1 ✓").arg(i); };

        QThreadPool pool;
        pool.setMaxThreadCount(6);
        auto writes = QtConcurrent::map(&pool, indexes, [&](int i) {
            store.save(account(i), value(i));
            store.save(account(i), value(i) + u'!');
        });
        // The main thread keeps using the store meanwhile.
        store.save(QStringLiteral("main"), QStringLiteral("main value"));
        QCOMPARE(store.read(QStringLiteral("main")), QStringLiteral("main value"));
        writes.waitForFinished();

        const QList<std::optional<QString>> read = QtConcurrent::blockingMapped(
            &pool, indexes, [&](int i) { return store.read(account(i)); });
        for (int i : indexes) {
            QCOMPARE(read[i], value(i) + u'!');
            QCOMPARE(itemCount(account(i)), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestLibsecretSecretStore)
#include "test_libsecretsecretstore.moc"

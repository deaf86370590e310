#include "core/catalog/SharedModelCatalogStore.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// (Plain string literals: moc takes "//" inside a raw string for a comment.)
namespace {

const QStringList builtInProviders = {
    QStringLiteral("openai-pro-plus"), QStringLiteral("openai"), QStringLiteral("anthropic"),
    QStringLiteral("google"),          QStringLiteral("xai"),    QStringLiteral("openrouter")};

const QByteArray localOpenAI =
    "{\"providers\": [ "
    "{\"id\": \"openai\", \"endpoint\": \"http://127.0.0.1:8080/v1/chat/completions\", "
    "\"models\": [{\"id\": \"llama3.2\"}, {\"id\": \"qwen2.5\"}]}]}";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

class TestSharedModelCatalogStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // First, while nothing has used the shared store: the user's file in this
    // test's own XDG_CONFIG_HOME is what shared() reads.
    void sharedStoreReadsTheUserFile()
    {
        QVERIFY(SharedModelCatalogStore::userCatalogPath().startsWith(
            qEnvironmentVariable("XDG_CONFIG_HOME")));
        QVERIFY(writeFile(SharedModelCatalogStore::userCatalogPath(), localOpenAI));
        const SharedModelCatalogStore &store = SharedModelCatalogStore::shared();
        QCOMPARE(store.endpoint(QStringLiteral("openai")),
                 QStringLiteral("http://127.0.0.1:8080/v1/chat/completions"));
        QCOMPARE(store.modelOptions(QStringLiteral("openai")),
                 (QStringList{QStringLiteral("llama3.2"), QStringLiteral("qwen2.5")}));
        QVERIFY(!store.apiKeyDocsURLByProviderID().contains(QStringLiteral("openai")));
        // Providers the file leaves out keep their built-in entries.
        QVERIFY(store.endpoint(QStringLiteral("anthropic")).startsWith(QStringLiteral("https://")));
        QCOMPARE(&SharedModelCatalogStore::shared(), &store);
    }

    void builtInCatalogHasEveryProvider()
    {
        const auto store =
            SharedModelCatalogStore::load(QStringLiteral("/nonexistent/catalog.json"));
        for (const QString &id : builtInProviders) {
            QVERIFY2(!store.modelOptions(id).isEmpty(), qPrintable(id));
            QVERIFY2(store.endpoint(id).startsWith(QStringLiteral("https://")), qPrintable(id));
        }
        QVERIFY(store.endpoint(QStringLiteral("google")).contains(QStringLiteral("{model}")));
        QVERIFY(!store.apiKeyDocsURLByProviderID().contains(QStringLiteral("openai-pro-plus")));
        QCOMPARE(store.apiKeyDocsURLByProviderID().size(), builtInProviders.size() - 1);
    }

    void decodesInFileOrder()
    {
        QString problem;
        const auto store = SharedModelCatalogStore::fromJson(
            "{\"version\": 2, \"providers\": [ "
            "{\"id\": \"a\", \"endpoint\": \"https://a\", \"apiKeyDocsURL\": \"https://a/keys\", "
            "\"models\": [{\"id\": \"z\"}, {\"id\": \"b\", \"label\": \"ignored\"}, {\"id\": "
            "\"m\"}]}, "
            "{\"id\": \"b\", \"endpoint\": \"https://b\", \"models\": [], \"extra\": true}, "
            "{\"id\": \"a\", \"endpoint\": \"https://a2\", \"models\": [{\"id\": \"y\"}]}]}",
            &problem);
        QVERIFY2(store, qPrintable(problem));
        // A later entry replaces an earlier one's values but not its link.
        QCOMPARE(store->modelOptions(QStringLiteral("a")), QStringList{QStringLiteral("y")});
        QCOMPARE(store->endpoint(QStringLiteral("a")), QStringLiteral("https://a2"));
        QCOMPARE(store->apiKeyDocsURLByProviderID().value(QStringLiteral("a")),
                 QStringLiteral("https://a/keys"));
        QVERIFY(!store->apiKeyDocsURLByProviderID().contains(QStringLiteral("b")));
        QVERIFY(store->modelOptionsByProviderID().value(QStringLiteral("b")).isEmpty());

        const auto ordered = SharedModelCatalogStore::fromJson(
            "{\"providers\": [{\"id\": \"a\", \"endpoint\": \"e\", \"models\": [{\"id\": \"z\"}, "
            "{\"id\": \"b\"}]}]}");
        QCOMPARE(ordered->modelOptions(QStringLiteral("a")),
                 (QStringList{QStringLiteral("z"), QStringLiteral("b")}));
    }

    void rejectsInvalidCatalogs_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("problem");
        QTest::newRow("not JSON") << QByteArray("{\"providers\": [}") << "offset";
        QTest::newRow("no providers") << QByteArray("{}") << "\"providers\"";
        QTest::newRow("an array") << QByteArray("[]") << "\"providers\"";
        QTest::newRow("no endpoint")
            << QByteArray("{\"providers\": [{\"id\": \"a\", \"models\": []}]}") << "\"endpoint\"";
        QTest::newRow("model without id")
            << QByteArray(
                   "{\"providers\": [{\"id\": \"a\", \"endpoint\": \"e\", \"models\": [{}]}]}")
            << "provider a";
    }

    void rejectsInvalidCatalogs()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, problem);
        QString message;
        QVERIFY(!SharedModelCatalogStore::fromJson(json, &message));
        QVERIFY2(message.contains(problem), qPrintable(message));
    }

    // A file that names no provider (as far as its bytes tell) leaves the
    // built-in catalog in place.
    void unusableUserFileNamingNoProviderIsLoggedAndTheBuiltInCatalogUsed_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("problem");
        QTest::newRow("invalid JSON") << QByteArray("{oops}") << "offset";
        QTest::newRow("unreadable") << QByteArray() << QString();
    }

    void unusableUserFileNamingNoProviderIsLoggedAndTheBuiltInCatalogUsed()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("model-catalog.json"));
        // A folder in place of the file cannot be read, even by root.
        QVERIFY(contents.isEmpty() ? QDir().mkpath(path) : writeFile(path, contents));
        const qsizetype mark = TestSandbox::flushedLog().size();

        const auto store = SharedModelCatalogStore::load(path);
        QCOMPARE(store.endpoint(QStringLiteral("openai")),
                 QStringLiteral("https://api.openai.com/v1/chat/completions"));
        QVERIFY(!store.unreadableEntryMessage(QStringLiteral("openai")));
        const QString log = TestSandbox::flushedLog().mid(mark);
        QVERIFY2(log.contains(QStringLiteral("[ERROR] Ignoring the model catalog ") + path),
                 qPrintable(log));
        QVERIFY2(log.contains(problem), qPrintable(log));
        QVERIFY(log.trimmed().endsWith(QStringLiteral("Using the built-in catalog.")));
    }

    // A provider the broken file names must not quietly go to the built-in
    // (public) endpoint with the user's text and key: it has no endpoint and
    // says why; the providers the file does not name keep the built-in ones.
    void providersNamedByAnUnusableFileAreUnreadable_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("problem");
        QTest::newRow("provider without models")
            << QByteArray("{\"providers\": [{\"id\": \"openai\", \"endpoint\": \"http://x\", "
                          "\"models\": []}]}")
            << "provider openai lists no models";
        QTest::newRow("not JSON") << QByteArray(
                                         "{\"providers\": [{\"id\": \"openai\", \"endpoint\": "
                                         "\"http://127.0.0.1:8080/v1/chat/completions\",}]}")
                                  << "offset";
        QTest::newRow("entry without endpoint")
            << QByteArray("{\"providers\": [{\"id\": \"openai\", \"models\": [{\"id\": \"m\"}]}, "
                          "{\"id\": \"mine\", \"endpoint\": \"https://e\", \"models\": []}]}")
            << "\"endpoint\"";
        QTest::newRow("plain http to a public host")
            << QByteArray("{\"plainHttpHosts\": [\"203.0.113.5\"], \"providers\": [{\"id\": "
                          "\"openai\", \"endpoint\": \"http://203.0.113.5/v1\", \"models\": "
                          "[{\"id\": \"m\"}]}]}")
            << "provider openai uses plain http to 203.0.113.5";
        QTest::newRow("larger than 4 MiB")
            << QByteArray("{\"providers\": [{\"id\": \"openai\", \"endpoint\": "
                          "\"http://127.0.0.1:1/v1\", \"models\": [{\"id\": \"") +
                   QByteArray(5 * 1024 * 1024, 'm') + QByteArray("\"}]}]}")
            << "larger than 4 MiB";
    }

    void providersNamedByAnUnusableFileAreUnreadable()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("model-catalog.json"));
        QVERIFY(writeFile(path, contents));
        const qsizetype mark = TestSandbox::flushedLog().size();

        const auto store = SharedModelCatalogStore::load(path);
        QVERIFY(!store.endpointByProviderID().contains(QStringLiteral("openai")));
        const auto message = store.unreadableEntryMessage(QStringLiteral("openai"));
        QVERIFY(message);
        QVERIFY2(message->startsWith(QStringLiteral("Your model catalog ") + path +
                                     QStringLiteral(" could not be read: ")),
                 qPrintable(*message));
        QVERIFY2(message->contains(problem), qPrintable(*message));
        // Its settings still read: the built-in models stay.
        QVERIFY(!store.modelOptions(QStringLiteral("openai")).isEmpty());
        QCOMPARE(store.endpoint(QStringLiteral("anthropic")),
                 QStringLiteral("https://api.anthropic.com/v1/messages"));
        QVERIFY(!store.unreadableEntryMessage(QStringLiteral("anthropic")));
        const QString log = TestSandbox::flushedLog().mid(mark);
        QVERIFY2(log.contains(QStringLiteral("[ERROR] Ignoring the model catalog ") + path),
                 qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("Requests to openai fail until it is fixed")),
                 qPrintable(log));
    }

    // Plain http goes only to loopback, or to hosts of the user's own network
    // that the file names; naming a public host does not make it one.
    void plainHttpNeedsLoopbackOrANamedPrivateHost()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("model-catalog.json"));
        QVERIFY(writeFile(
            path, "{\"plainHttpHosts\": [\"192.168.1.20\", \"LLM.lan\", \"gpu\"], \"providers\": ["
                  "{\"id\": \"openai\", \"endpoint\": \"http://192.168.1.20:8080/v1\", "
                  "\"models\": [{\"id\": \"m\"}]}, "
                  "{\"id\": \"xai\", \"endpoint\": \"http://llm.lan/v1\", \"models\": [{\"id\": "
                  "\"m\"}]}, "
                  "{\"id\": \"openrouter\", \"endpoint\": \"http://gpu:1234/v1\", \"models\": "
                  "[{\"id\": \"m\"}]}, "
                  "{\"id\": \"anthropic\", \"endpoint\": \"http://[::1]:9/v1\", \"models\": "
                  "[{\"id\": \"m\"}]}]}"));
        const auto store = SharedModelCatalogStore::load(path);
        QCOMPARE(store.endpoint(QStringLiteral("openai")),
                 QStringLiteral("http://192.168.1.20:8080/v1"));
        QCOMPARE(store.endpoint(QStringLiteral("xai")), QStringLiteral("http://llm.lan/v1"));
        QCOMPARE(store.endpoint(QStringLiteral("openrouter")),
                 QStringLiteral("http://gpu:1234/v1"));
        QCOMPARE(store.endpoint(QStringLiteral("anthropic")), QStringLiteral("http://[::1]:9/v1"));

        // Not named: refused.
        QVERIFY(writeFile(path,
                          "{\"providers\": [{\"id\": \"openai\", \"endpoint\": "
                          "\"http://192.168.1.20:8080/v1\", \"models\": [{\"id\": \"m\"}]}]}"));
        QVERIFY(
            SharedModelCatalogStore::load(path).unreadableEntryMessage(QStringLiteral("openai")));
        // Named, but public (or a name that resolves anywhere): refused.
        for (const char *host : {"8.8.8.8", "example.com", "llm.lan.example.com"}) {
            QVERIFY(writeFile(path, QByteArray("{\"plainHttpHosts\": [\"") + host +
                                        "\"], \"providers\": [{\"id\": \"openai\", "
                                        "\"endpoint\": \"http://" +
                                        host + "/v1\", \"models\": [{\"id\": \"m\"}]}]}"));
            QVERIFY2(SharedModelCatalogStore::load(path).unreadableEntryMessage(
                         QStringLiteral("openai")),
                     host);
        }
    }
};

QTEST_GUILESS_MAIN(TestSharedModelCatalogStore)
#include "test_sharedmodelcatalogstore.moc"

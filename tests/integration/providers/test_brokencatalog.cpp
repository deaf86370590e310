// A user catalog that names a provider but cannot be read must not send that
// provider's requests (the user's text and key) to the built-in endpoint.

#include "ProviderTestSupport.h"
#include "core/catalog/SharedModelCatalogStore.h"
#include "core/providers/AIProviderRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace ProviderTestSupport;

class TestBrokenCatalog : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    AIClient m_client;

private Q_SLOTS:
    // Before anything uses the shared catalog.
    void initTestCase()
    {
        const QString path = SharedModelCatalogStore::userCatalogPath();
        QVERIFY(path.startsWith(qEnvironmentVariable("WRENLARK_TEST_SANDBOX")));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        // A trailing comma: not JSON.
        file.write("{\"providers\": [{\"id\": \"openai\", \"endpoint\": \"" +
                   m_server.url(QStringLiteral("/openai/v1/chat")).toEncoded() +
                   "\", \"models\": [{\"id\": \"m1\"}]},]}");
    }

    void namedProviderFailsWithTheCatalogsProblem()
    {
        for (const bool stream : {false, true}) {
            const Exchange result = exchange(m_server, m_client, QStringLiteral("openai"),
                                             makeContext(ContextKind::text), stream);
            QCOMPARE(result.state, AIReply::State::failed);
            const QString message = result.error->userFacingMessage();
            QVERIFY2(message.startsWith(QStringLiteral("Your model catalog ") +
                                        SharedModelCatalogStore::userCatalogPath() +
                                        QStringLiteral(" could not be read: ")),
                     qPrintable(message));
            QCOMPARE(result.error->errorDescription(), message);
        }
        QCOMPARE(m_server.requestCount(), 0);
    }

    void providersTheFileDoesNotNameKeepTheBuiltInEntry()
    {
        QCOMPARE(SharedModelCatalogStore::shared().endpointByProviderID().value(
                     QStringLiteral("anthropic")),
                 QStringLiteral("https://api.anthropic.com/v1/messages"));
        QVERIFY(!AIProviderRegistry::shared()
                     .provider(QStringLiteral("openai"))
                     ->modelOptions()
                     .isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBrokenCatalog)
#include "test_brokencatalog.moc"

#include "ProviderTestSupport.h"

#include "core/catalog/SharedModelCatalogStore.h"
#include "core/providers/AIProviderRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

namespace ProviderTestSupport {

void writeUserCatalog(const TestHttpServer &server)
{
    // Never the user's own catalog: only inside the sandbox CTest sets up.
    const QString sandbox = qEnvironmentVariable("WRENLARK_TEST_SANDBOX");
    QVERIFY2(!sandbox.isEmpty() && SharedModelCatalogStore::userCatalogPath().startsWith(sandbox),
             "Run this test through ctest, which gives it its own XDG_CONFIG_HOME.");
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(server.port());
    QJsonArray providers;
    // The registry would read the catalog before this file exists.
    const SharedModelCatalogStore builtIn = SharedModelCatalogStore::load(QString());
    for (const QString &id : builtIn.providerIDs()) {
        QString endpoint = origin + QString::fromUtf8(endpointPath(id));
        if (id == QLatin1String("google"))
            endpoint = origin + "/google/models/{model}:generateContent?alt=json&key=stale";
        providers.append(QJsonObject{
            {"id", id}, {"endpoint", endpoint}, {"models", QJsonArray{QJsonObject{{"id", "m1"}}}}});
    }
    const QString path = SharedModelCatalogStore::userCatalogPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(QJsonObject{{"providers", providers}}).toJson());
}

QByteArray endpointPath(const QString &providerID, const QString &model)
{
    if (providerID == QLatin1String("google"))
        return "/google/models/" + model.toUtf8() + ":generateContent";
    return "/" + providerID.toUtf8() + "/v1/chat";
}

AIRequestContext makeContext(ContextKind kind, const QString &apiKey, const QString &model)
{
    AIRequestContext context;
    context.requestID = QUuid::createUuid();
    context.model = model;
    context.apiKey = apiKey;
    context.instruction = QStringLiteral("make it shorter");
    if (kind == ContextKind::selection)
        context.selectedText = QStringLiteral("A rather long sentence.");
    if (kind == ContextKind::image)
        context.imageData = sampleImage();
    return context;
}

QByteArray sampleImage()
{
    QByteArray bytes;
    for (int i = 0; i < 300; ++i)
        bytes.append(char(255 - i % 256));
    return bytes;
}

Exchange finish(AIReply *reply)
{
    if (!reply->isFinished()) {
        QSignalSpy finished(reply, &AIReply::finished);
        [&] { QVERIFY(finished.wait(10000)); }();
    }
    Exchange result{reply->state(), reply->text(), reply->error(), {}, std::nullopt};
    delete reply;
    return result;
}

Exchange exchange(TestHttpServer &server, AIClient &client, const QString &providerID,
                  const AIRequestContext &context, bool withCallback)
{
    const QByteArray path = endpointPath(providerID, context.model);
    const auto before = server.requestsTo(path).size();
    QStringList partials;
    AIPartialResponseHandler collect;
    if (withCallback)
        collect = [&partials](const QString &text) { partials.append(text); };
    Exchange result = finish(
        AIProviderRegistry::shared().provider(providerID)->sendRequest(client, context, collect));
    result.partials = partials;
    const auto requests = server.requestsTo(path);
    if (requests.size() > before)
        result.request = requests.last();
    return result;
}

} // namespace ProviderTestSupport

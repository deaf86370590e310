#include "ProviderTestSupport.h"
#include "core/ai/AIRequestSupport.h"
#include "core/catalog/SharedModelCatalogStore.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/providers/OpenAIChatAdapter.h"
#include "core/providers/OpenAICompatibleProvider.h"
#include "support/TestSandbox.h"

#include <QFile>
#include <QJsonArray>
#include <QTest>

using namespace ProviderTestSupport;
using Response = TestHttpServer::Response;

// What each provider puts on the wire, checked on the server's side.
class TestProviderRequests : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    AIClient m_client;

    static QString base64Image() { return QString::fromLatin1(sampleImage().toBase64()); }

    static qsizetype headerIndex(const TestHttpServer::RecordedRequest &request,
                                 const QByteArray &name)
    {
        for (qsizetype i = 0; i < request.headers.size(); ++i)
            if (request.headers[i].first.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        writeUserCatalog(m_server);
        for (const char *id : {"openai", "openrouter", "xai"})
            m_server.setDefault(
                "POST", endpointPath(id),
                Response::body(200, R"({"choices":[{"message":{"content":"ok"}}]})"));
        m_server.setDefault("POST", endpointPath("anthropic"),
                            Response::body(200, R"({"content":[{"type":"text","text":"ok"}]})"));
        m_server.setDefault(
            "POST", endpointPath("google"),
            Response::body(200, R"({"candidates":[{"content":{"parts":[{"text":"ok"}]}}]})"));
    }

    void chatCompletionRequests_data()
    {
        QTest::addColumn<QString>("providerID");
        QTest::addColumn<ContextKind>("kind");
        QTest::addColumn<bool>("streamed");
        QTest::newRow("openai, text, whole") << "openai" << ContextKind::text << false;
        QTest::newRow("openai, image, streamed") << "openai" << ContextKind::image << true;
        QTest::newRow("openrouter, selection") << "openrouter" << ContextKind::selection << true;
        QTest::newRow("xai, image") << "xai" << ContextKind::image << false;
    }

    void chatCompletionRequests()
    {
        QFETCH(QString, providerID);
        QFETCH(ContextKind, kind);
        QFETCH(bool, streamed);
        if (streamed) {
            m_server.enqueue(
                "POST", endpointPath(providerID),
                Response::eventStream(
                    {TestHttpServer::sseData(R"({"choices":[{"delta":{"content":"ok"}}]})"),
                     TestHttpServer::sseData("[DONE]")}));
        }
        const AIRequestContext context = makeContext(kind);
        const Exchange result = exchange(m_server, m_client, providerID, context, streamed);
        QCOMPARE(result.text, QStringLiteral("ok"));
        QCOMPARE(result.partials, streamed ? QStringList{"ok"} : QStringList{});

        const auto &request = *result.request;
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer test-key"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QVERIFY(headerIndex(request, "Authorization") < headerIndex(request, "Content-Type"));
        const bool openAI = providerID == "openai";
        const bool openRouter = providerID == "openrouter";
        QCOMPARE(request.header("Idempotency-Key"),
                 openAI ? context.requestID.toByteArray(QUuid::WithoutBraces) : QByteArray());
        QCOMPARE(request.header("HTTP-Referer"), openRouter ? QByteArray("com.wrenlark") : "");
        QCOMPARE(request.header("X-Title"), openRouter ? QByteArray("Wrenlark") : "");

        // Compared whole: absent optional members are omitted, never null.
        const auto [systemPrompt, userPrompt] =
            AIRequestSupport::buildPrompts(context.instruction, context.selectedText);
        QJsonValue userContent = userPrompt;
        if (kind == ContextKind::image) {
            userContent = QJsonArray{
                QJsonObject{{"type", "text"}, {"text", userPrompt}},
                QJsonObject{
                    {"type", "image_url"},
                    {"image_url", QJsonObject{{"url", "data:image/png;base64," + base64Image()}}}}};
        }
        const QJsonArray messages{QJsonObject{{"role", "system"}, {"content", systemPrompt}},
                                  QJsonObject{{"role", "user"}, {"content", userContent}}};
        QCOMPARE(request.jsonBody(),
                 (QJsonObject{{"model", "m1"}, {"stream", streamed}, {"messages", messages}}));
    }

    void anthropicRequests_data()
    {
        QTest::addColumn<ContextKind>("kind");
        QTest::newRow("text") << ContextKind::text;
        QTest::newRow("selection") << ContextKind::selection;
        QTest::newRow("image") << ContextKind::image;
    }

    void anthropicRequests()
    {
        QFETCH(ContextKind, kind);
        const AIRequestContext context = makeContext(kind);
        const Exchange result = exchange(m_server, m_client, "anthropic", context, true);
        QCOMPARE(result.text, QStringLiteral("ok"));
        QCOMPARE(result.partials, QStringList{}); // whole answers only
        const auto &request = *result.request;
        QCOMPARE(request.header("x-api-key"), QByteArray("test-key"));
        QCOMPARE(request.header("anthropic-version"), QByteArray("2023-06-01"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QVERIFY(!request.hasHeader("Authorization"));

        const auto [systemPrompt, userPrompt] =
            AIRequestSupport::buildPrompts(context.instruction, context.selectedText);
        QJsonArray blocks{QJsonObject{{"type", "text"}, {"text", userPrompt}}};
        if (kind == ContextKind::image) {
            blocks.append(QJsonObject{{"type", "image"},
                                      {"source", QJsonObject{{"type", "base64"},
                                                             {"media_type", "image/png"},
                                                             {"data", base64Image()}}}});
        }
        const QJsonArray messages{QJsonObject{{"role", "user"}, {"content", blocks}}};
        QCOMPARE(request.jsonBody(), (QJsonObject{{"model", "m1"},
                                                  {"max_tokens", 1024},
                                                  {"system", systemPrompt},
                                                  {"messages", messages}}));
        // A callback changes nothing on the wire.
        QCOMPARE(exchange(m_server, m_client, "anthropic", context, false).request->body,
                 request.body);
    }

    void geminiRequests_data() { anthropicRequests_data(); }

    void geminiRequests()
    {
        QFETCH(ContextKind, kind);
        const QString key = QStringLiteral("AIza+key/with=odd&chars é");
        const AIRequestContext context = makeContext(kind, key);
        const Exchange result = exchange(m_server, m_client, "google", context, true);
        QCOMPARE(result.text, QStringLiteral("ok"));
        QCOMPARE(result.partials, QStringList{});
        // The model is in the path; the key is the only query item, the
        // endpoint's own query is gone, and a "+" is not sent bare (a server
        // would read a space).
        const auto &request = *result.request;
        QCOMPARE(request.path, QByteArray("/google/models/m1:generateContent"));
        QCOMPARE(request.queryItems, (QList<std::pair<QString, QString>>{{"key", key}}));
        QVERIFY(!request.target.contains('+'));
        QVERIFY(!request.hasHeader("Authorization"));
        QVERIFY(!request.hasHeader("x-api-key"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));

        const auto [systemPrompt, userPrompt] =
            AIRequestSupport::buildPrompts(context.instruction, context.selectedText);
        QJsonArray parts{QJsonObject{{"text", systemPrompt + "\n\n" + userPrompt}}};
        if (kind == ContextKind::image) {
            parts.append(QJsonObject{
                {"inline_data", QJsonObject{{"mime_type", "image/png"}, {"data", base64Image()}}}});
        }
        QCOMPARE(request.jsonBody(),
                 (QJsonObject{
                     {"contents", QJsonArray{QJsonObject{{"role", "user"}, {"parts", parts}}}}}));
        QVERIFY(!TestSandbox::flushedLog().contains(QStringLiteral("AIza")));
    }

    // Refining sends the session's exchanges as alternating turns in each
    // provider's own format, the selection with the first instruction.
    void refiningSendsTheEarlierTurns_data()
    {
        QTest::addColumn<QString>("providerID");
        QTest::newRow("chat completions") << "openai";
        QTest::newRow("anthropic") << "anthropic";
        QTest::newRow("gemini") << "google";
    }

    void refiningSendsTheEarlierTurns()
    {
        QFETCH(QString, providerID);
        AIRequestContext context = makeContext(ContextKind::selection);
        context.earlierTurns = {{QStringLiteral("shorter"), QStringLiteral("Short.")},
                                {QStringLiteral("more formal"), QStringLiteral("Formal.")}};
        context.instruction = QStringLiteral("in French");
        const Exchange result = exchange(m_server, m_client, providerID, context, false);
        QCOMPARE(result.text, QStringLiteral("ok"));

        const QJsonObject body = result.request->jsonBody();
        const auto [systemPrompt, firstPrompt] =
            AIRequestSupport::buildPrompts(QStringLiteral("shorter"), context.selectedText);
        QStringList turns;
        if (providerID == "openai") {
            for (const QJsonValue message : body.value("messages").toArray())
                turns << message["role"].toString() + ": " + message["content"].toString();
            QCOMPARE(turns.takeFirst(), "system: " + systemPrompt);
        } else if (providerID == "anthropic") {
            QCOMPARE(body.value("system").toString(), systemPrompt);
            for (const QJsonValue message : body.value("messages").toArray())
                turns << message["role"].toString() + ": " +
                             message["content"][0]["text"].toString();
        } else {
            for (const QJsonValue content : body.value("contents").toArray())
                turns << content["role"].toString() + ": " + content["parts"][0]["text"].toString();
            turns[0].replace(systemPrompt + "\n\n", QString());
        }
        const QString model = providerID == "google" ? "model" : "assistant";
        QCOMPARE(turns, (QStringList{"user: " + firstPrompt, model + ": Short.",
                                     "user: more formal", model + ": Formal.", "user: in French"}));
    }

    void hedgedAttemptResendsTheSameIdempotencyKey()
    {
        const QByteArray path = endpointPath("openai");
        m_server.enqueue("POST", path, Response::silence());
        m_server.enqueue(
            "POST", path,
            Response::eventStream(
                {TestHttpServer::sseData(R"({"choices":[{"delta":{"content":"late"}}]})"),
                 TestHttpServer::sseData("[DONE]")}));
        const auto before = m_server.requestsTo(path).size();
        const OpenAIChatAdapter adapter =
            dynamic_cast<const OpenAICompatibleProvider &>(
                *AIProviderRegistry::shared().provider(QStringLiteral("openai")))
                .chatAdapter();
        AIRequestOptions options = adapter.requestOptions();
        QCOMPARE(options.timeoutRetryPolicy,
                 AIRequestTimeoutRetryPolicy::providerManagedSingleHedge);
        options.timeoutInterval = options.hedgedRequestTimeoutInterval = 5;
        options.hedgeAfterNoResponseInterval = 0.2;
        const AIRequestContext context = makeContext(ContextKind::selection);

        const Exchange result = finish(adapter.send(
            m_client, context, [](const QString &) {}, options));
        QCOMPARE(result.text, QStringLiteral("late"));
        const auto requests = m_server.requestsTo(path).mid(before);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].header("Idempotency-Key"),
                 context.requestID.toByteArray(QUuid::WithoutBraces));
        QCOMPARE(requests[1].header("Idempotency-Key"), requests[0].header("Idempotency-Key"));
        QCOMPARE(requests[1].body, requests[0].body);
    }

    // A broken endpoint (the catalog may be the user's file), a model that
    // breaks Gemini's URL, or a key that would end its header early: the
    // request fails with a logged reason and nothing is sent.
    void refusesRequestsItCannotFormSafely_data()
    {
        QTest::addColumn<QString>("providerID");
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("apiKey");
        QTest::addColumn<QString>("model");
        QTest::addColumn<AIClientError::Kind>("errorKind");
        const auto invalid = AIClientError::Kind::invalidResponse;
        const QString good = m_server.url(QString::fromUtf8(endpointPath("openai"))).toString();
        QTest::newRow("not a URL") << "openai"
                                   << "not a url"
                                   << "k"
                                   << "m1" << invalid;
        QTest::newRow("not http") << "openai"
                                  << "ftp://127.0.0.1/v1/chat"
                                  << "k"
                                  << "m1" << invalid;
        QTest::newRow("no endpoint") << "openai"
                                     << ""
                                     << "k"
                                     << "m1" << invalid;
        QTest::newRow("key with a line break") << "openai" << good << "secret-1\r\nX-Injected: yes"
                                               << "m1" << AIClientError::Kind::other;
        QTest::newRow("gemini model with a space") << "google"
                                                   << ""
                                                   << "secret-1"
                                                   << "m 1" << invalid;
    }

    void refusesRequestsItCannotFormSafely()
    {
        QFETCH(QString, providerID);
        QFETCH(QString, endpoint);
        QFETCH(QString, apiKey);
        QFETCH(QString, model);
        QFETCH(AIClientError::Kind, errorKind);
        const auto before = m_server.requestCount();
        const AIRequestContext context = makeContext(ContextKind::text, apiKey, model);
        const OpenAIChatAdapter adapter(
            providerID, endpoint, {},
            AIRequestOptions::standard(providerID,
                                       AIRequestTimeoutRetryPolicy::providerManagedSingleHedge),
            QByteArrayLiteral("Idempotency-Key"));
        const Exchange result = providerID == "google"
                                    ? exchange(m_server, m_client, providerID, context, false)
                                    : finish(adapter.send(m_client, context, {}));
        QCOMPARE(result.state, AIReply::State::failed);
        QCOMPARE(result.error->kind(), errorKind);
        QTest::qWait(50);
        QCOMPARE(m_server.requestCount(), before);
        const QString log = TestSandbox::flushedLog();
        QVERIFY(log.contains("[ERROR] LLM request not sent for provider=" + providerID));
        QVERIFY(!log.contains(QStringLiteral("secret-1")));
    }

    // The README's example for a local server must load, and every entry in it
    // must give its provider models and a usable endpoint.
    void readmeLocalModelsCatalogLoads()
    {
        QFile readme(QStringLiteral(WRENLARK_SOURCE_DIR "/README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const auto start = text.indexOf("```json\n", text.indexOf("\n## Local models"));
        const auto end = text.indexOf("```", start + 8);
        QVERIFY(start > 0 && end > start);
        QString problem;
        const auto catalog = SharedModelCatalogStore::fromJson(
            text.mid(start + 8, end - start - 8).toUtf8(), &problem);
        QVERIFY2(catalog, qPrintable(problem));
        QVERIFY(!catalog->endpointByProviderID().isEmpty());
        for (const QString &id : catalog->endpointByProviderID().keys()) {
            QVERIFY2(AIProviderRegistry::shared().provider(id), qPrintable(id));
            QVERIFY2(!catalog->modelOptionsByProviderID().value(id).isEmpty(), qPrintable(id));
            const QString endpoint = catalog->endpoint(id).replace("{model}", "m1");
            const OpenAIChatAdapter adapter(
                id, endpoint, {},
                AIRequestOptions::standard(id, AIRequestTimeoutRetryPolicy::none));
            QVERIFY2(!adapter.endpoint().isEmpty(), qPrintable(id));
        }
        QCOMPARE(catalog->endpoint("openai"), "http://127.0.0.1:11434/v1/chat/completions");
    }
};

QTEST_GUILESS_MAIN(TestProviderRequests)
#include "test_providerrequests.moc"

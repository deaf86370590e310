#include "AuthTestSupport.h"
#include "core/ai/AIClient.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/OpenAIProPlusProvider.h"
#include "core/providers/OpenAIProPlusResponsesAdapter.h"
#include "support/FakeSecretStore.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace AuthTestSupport;
using Response = TestHttpServer::Response;

namespace {

const QByteArray responsesPath = "/backend/codex/responses";

double now()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QByteArray delta(const QString &text)
{
    return TestHttpServer::sseEvent(
        "response.output_text.delta",
        QJsonDocument(QJsonObject{{"type", "response.output_text.delta"},
                                  {"delta", text},
                                  {"item_id", "msg_1"},
                                  {"output_index", 0}})
            .toJson(QJsonDocument::Compact));
}

QByteArray sseObject(const QJsonObject &payload)
{
    return TestHttpServer::sseData(payload);
}

AIRequestContext context(std::optional<QString> selection = std::nullopt,
                         std::optional<QByteArray> image = std::nullopt)
{
    return {QUuid::createUuid(),
            QStringLiteral("gpt-5.4"),
            QStringLiteral("oauth-session"),
            QStringLiteral("fix grammar"),
            selection,
            image,
            {},
            {},
            {}};
}

struct Outcome
{
    AIReply::State state = AIReply::State::running;
    QString text;
    std::optional<AIClientError> error;
    QStringList partials;
};

} // namespace

class TestResponsesProvider : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    AIClient m_client;
    std::unique_ptr<OpenAIProPlusAuthManager> m_manager;
    std::unique_ptr<OpenAIProPlusProvider> m_provider;
    qsizetype m_firstRequest = 0;

    QList<TestHttpServer::RecordedRequest> requestsTo(const QByteArray &path) const
    {
        QList<TestHttpServer::RecordedRequest> found;
        for (qsizetype i = m_firstRequest; i < m_server.requests().size(); ++i) {
            if (m_server.requests().at(i).path == path)
                found.append(m_server.requests().at(i));
        }
        return found;
    }

    void storeSession(double expiresAt, std::optional<QString> accountID = QStringLiteral("acct-9"))
    {
        m_manager->save({QStringLiteral("refresh"), QStringLiteral("access-1"), expiresAt,
                         accountID, QStringLiteral("me@example.com")});
    }

    static Outcome finish(AIReply *reply, const QStringList *partials = nullptr)
    {
        const std::unique_ptr<AIReply> owner(reply);
        if (!reply->isFinished()) {
            QSignalSpy finished(reply, &AIReply::finished);
            [&] { QVERIFY(finished.wait(10000)); }();
        }
        return {reply->state(), reply->text(), reply->error(),
                partials ? *partials : QStringList()};
    }

    Outcome send(const AIRequestContext &requestContext, bool withCallback)
    {
        QStringList partials;
        AIPartialResponseHandler collect;
        if (withCallback)
            collect = [&partials](const QString &text) { partials.append(text); };
        return finish(m_provider->sendRequest(m_client, requestContext, collect), &partials);
    }

private Q_SLOTS:
    void initTestCase()
    {
        writeConfiguration(m_server);
        writeModelCatalog(m_server.url(QString::fromLatin1(responsesPath)));
    }

    void init()
    {
        m_manager = std::make_unique<OpenAIProPlusAuthManager>(
            KeychainStore(QStringLiteral("com.wrenlark"), std::make_shared<FakeSecretStore>()));
        m_provider = std::make_unique<OpenAIProPlusProvider>(*m_manager);
        m_firstRequest = m_server.requestCount();
    }

    void requestCarriesTheSessionAndTheResponsesBody()
    {
        storeSession(now() + 600);
        m_server.enqueue("POST", responsesPath, Response::eventStream({delta("Fixed.")}));
        const AIRequestContext sent = context();
        const Outcome outcome = send(sent, false);
        QCOMPARE(outcome.state, AIReply::State::succeeded);
        QCOMPARE(outcome.text, QStringLiteral("Fixed."));

        const auto requests = requestsTo(responsesPath);
        QCOMPARE(requests.size(), 1);
        const auto &request = requests.first();
        QCOMPARE(request.header("Authorization"), "Bearer access-1");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QCOMPARE(request.header("originator"), "wrenlark");
        QCOMPARE(request.header("User-Agent"), "Wrenlark/1");
        QCOMPARE(request.header("session_id"), sent.requestID.toByteArray(QUuid::WithoutBraces));
        QVERIFY(request.header("session_id") == request.header("session_id").toLower());
        QCOMPARE(request.header("ChatGPT-Account-Id"), "acct-9");
        const QJsonObject expected{
            {"model", "gpt-5.4"},
            {"store", false},
            {"stream", true},
            {"instructions", "You are a helpful assistant."},
            {"input", QJsonArray{QJsonObject{
                          {"role", "user"},
                          {"content", QJsonArray{QJsonObject{{"type", "input_text"},
                                                             {"text", "fix grammar"}}}}}}}};
        QCOMPARE(request.jsonBody(), expected);
    }

    void selectionAndImageMakeTwoPartsAndNoAccountNoHeader()
    {
        storeSession(now() + 600, QString());
        m_server.enqueue("POST", responsesPath, Response::eventStream({delta("ok")}));
        QCOMPARE(
            send(context(QStringLiteral("teh text"), QByteArray("\x89PNG\r\n", 6)), true).state,
            AIReply::State::succeeded);
        const auto request = requestsTo(responsesPath).first();
        QVERIFY(!request.hasHeader("ChatGPT-Account-Id"));
        const QJsonObject body = request.jsonBody();
        QCOMPARE(body.value("instructions").toString(),
                 QStringLiteral("You edit text. Return only the replacement text, with no "
                                "commentary. Keep the language of the selected text unless the "
                                "instruction asks for another."));
        const QJsonArray parts =
            body.value("input").toArray().first().toObject().value("content").toArray();
        QCOMPARE(parts.size(), 2);
        QVERIFY(
            parts.at(0).toObject().value("text").toString().startsWith("Selected text:\nteh text"));
        QCOMPARE(parts.at(1).toObject().value("type").toString(), QStringLiteral("input_image"));
        QCOMPARE(parts.at(1).toObject().value("image_url").toString(),
                 QStringLiteral("data:image/png;base64,iVBORw0K"));
    }

    void deltasGrowTheTextAndOtherEventsAddNothing()
    {
        storeSession(now() + 600);
        m_server.enqueue(
            "POST", responsesPath,
            Response::eventStream(
                {sseObject({{"type", "response.created"}, {"response", QJsonObject{{"id", "r1"}}}}),
                 delta("Hel"), delta("lo"),
                 sseObject({{"type", "response.output_text.done"}, {"text", "x"}}), delta("!"),
                 sseObject({{"type", "response.completed"}, {"sequence", "9"}})},
                20));
        const Outcome outcome = send(context(), true);
        QCOMPARE(outcome.text, QStringLiteral("Hello!"));
        QCOMPARE(outcome.partials, (QStringList{QStringLiteral("Hel"), QStringLiteral("Hello"),
                                                QStringLiteral("Hello!")}));
    }

    // A body that only the connection's close ends must carry the format's
    // end event to count as whole. The pieces come apart: when the head, the
    // body and the close arrive at once, Qt 6.4 may take the close for a
    // stale connection and fail the request (a body is never sent twice).
    void closeDelimitedStreamNeedsTheCompletionEvent()
    {
        storeSession(now() + 600);
        m_server.enqueue("POST", responsesPath,
                         Response::eventStream({delta("Half")}, 30)
                             .withFraming(Response::Framing::untilClose)
                             .withEnding(Response::Ending::close));
        const Outcome cut = send(context(), true);
        QCOMPARE(cut.state, AIReply::State::failed);
        QCOMPARE(cut.error->kind(), AIClientError::Kind::streamInterrupted);
        QCOMPARE(cut.error->partialText(), QStringLiteral("Half"));

        m_server.enqueue(
            "POST", responsesPath,
            Response::eventStream({delta("Whole"), sseObject({{"type", "response.completed"}})}, 30)
                .withFraming(Response::Framing::untilClose)
                .withEnding(Response::Ending::close));
        const Outcome whole = send(context(), true);
        QCOMPARE(whole.state, AIReply::State::succeeded);
        QCOMPARE(whole.text, QStringLiteral("Whole"));
    }

    void errorEventEndsTheRequestWithItsMessage()
    {
        storeSession(now() + 600);
        m_server.enqueue("POST", responsesPath,
                         Response::eventStream({sseObject({{"type", "error"},
                                                           {"code", "rate_limit_exceeded"},
                                                           {"message", "Usage limit reached."},
                                                           {"param", QJsonValue::Null}})}));
        const Outcome outcome = send(context(), true);
        QCOMPARE(outcome.state, AIReply::State::failed);
        QCOMPARE(*outcome.error,
                 AIClientError::requestFailed(200, QStringLiteral("Usage limit reached.")));
        QCOMPARE(outcome.error->userFacingMessage(), QStringLiteral("Usage limit reached."));
    }

    void dueSessionIsRefreshedBeforeTheRequest()
    {
        storeSession(now() + 5);
        m_server.enqueue(
            "POST", "/oauth/token",
            Response::json(200, tokenReply(QStringLiteral("access-2"), QStringLiteral("other"))));
        m_server.enqueue("POST", responsesPath, Response::eventStream({delta("ok")}));
        QCOMPARE(send(context(), false).state, AIReply::State::succeeded);
        QCOMPARE(requestsTo("/oauth/token").size(), 1);
        QCOMPARE(requestsTo(responsesPath).first().header("Authorization"), "Bearer access-2");
        QCOMPARE(m_manager->storedSession()->accessToken, QStringLiteral("access-2"));
    }

    void signInFailuresStopTheRequest_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("description");
        QTest::newRow("not connected") << false << "OpenAI Pro/Plus is not connected.";
        QTest::newRow("refresh refused") << true << "OpenAI token refresh failed (401).";
    }

    void signInFailuresStopTheRequest()
    {
        QFETCH(bool, connected);
        QFETCH(QString, description);
        if (connected) {
            storeSession(now());
            m_server.enqueue("POST", "/oauth/token", Response::json(401, {}));
        }
        const Outcome outcome = send(context(), true);
        QCOMPARE(outcome.state, AIReply::State::failed);
        QCOMPARE(outcome.error->kind(), AIClientError::Kind::other);
        QCOMPARE(outcome.error->errorDescription(), description);
        QCOMPARE(outcome.error->userFacingMessage(), description);
        QCOMPARE(requestsTo(responsesPath).size(), 0);
    }

    void cancellingDuringTheRefreshSendsNothing()
    {
        storeSession(now());
        m_server.enqueue("POST", "/oauth/token", Response::silence());
        AIReply *reply = m_provider->sendRequest(m_client, context(), {});
        QVERIFY(m_server.waitForRequests(m_firstRequest + 1));
        reply->cancel();
        QCOMPARE(finish(reply).state, AIReply::State::cancelled);
        QVERIFY(m_server.waitForClientClosedConnections(1));
        QCOMPARE(requestsTo(responsesPath).size(), 0);
    }

    void bothHedgedAttemptsSendTheSameSessionID()
    {
        storeSession(now() + 600);
        m_server.enqueue("POST", responsesPath, Response::silence());
        m_server.enqueue("POST", responsesPath, Response::eventStream({delta("hedged")}));
        const OpenAIProPlusResponsesAdapter adapter(
            QStringLiteral("openai-pro-plus"),
            m_server.url(QString::fromLatin1(responsesPath)).toString(),
            AIRequestTimeoutRetryPolicy::unsafeSingleHedge, *m_manager);
        AIRequestOptions options = adapter.requestOptions();
        options.hedgeAfterNoResponseInterval = 0.05;
        const AIRequestContext sent = context();
        const Outcome outcome = finish(adapter.send(m_client, sent, {}, options));
        QCOMPARE(outcome.text, QStringLiteral("hedged"));
        const auto requests = requestsTo(responsesPath);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).header("session_id"),
                 sent.requestID.toByteArray(QUuid::WithoutBraces));
        QCOMPARE(requests.at(1).header("session_id"), requests.at(0).header("session_id"));
    }
};

QTEST_GUILESS_MAIN(TestResponsesProvider)
#include "test_responsesprovider.moc"

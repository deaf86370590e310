#include "ProviderTestSupport.h"
#include "support/TestSandbox.h"

#include <QTest>

using namespace ProviderTestSupport;
using Response = TestHttpServer::Response;
using Kind = AIClientError::Kind;

// How each provider reads what the server answers.
class TestProviderAnswers : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    AIClient m_client;
    const QString m_geminiKey = QStringLiteral("AIza-secret-key");

    Exchange answer(const QString &providerID, const Response &response, bool withCallback)
    {
        m_server.enqueue("POST", endpointPath(providerID), response);
        const QString key = providerID == "google" ? m_geminiKey : QStringLiteral("test-key");
        return exchange(m_server, m_client, providerID, makeContext(ContextKind::text, key),
                        withCallback);
    }

private Q_SLOTS:
    void initTestCase() { writeUserCatalog(m_server); }

    void streamedChunksOfEveryShape()
    {
        const Exchange result = answer(
            "openai",
            Response::eventStream({
                TestHttpServer::sseData(R"({"choices":[{"delta":{"role":"assistant"}}]})"),
                TestHttpServer::sseData(R"({"choices":[{"delta":{"content":"One "}}]})"),
                TestHttpServer::sseData(
                    R"({"choices":[{"delta":{"content":[{"type":"text","text":"A"},{"type":"text","text":"B"},{"type":"image"}]}}]})"),
                // Unsupported content formats are skipped.
                TestHttpServer::sseData(R"({"choices":[{"delta":{"content":42}}]})"),
                TestHttpServer::sseData(R"({"choices":[{"delta":{"content":{"text":"no"}}}]})"),
                TestHttpServer::sseData(
                    R"({"choices":[{"delta":{"content":" x"}},{"delta":{"content":"y"}}]})"),
                TestHttpServer::sseData(
                    R"({"choices":[{"delta":{"content":null},"finish_reason":"stop"}]})"),
                TestHttpServer::sseData(R"({"usage":{"total_tokens":7}})"),
                TestHttpServer::sseData("[DONE]"),
            }),
            true);
        QCOMPARE(result.text, QStringLiteral("One AB xy"));
        QCOMPARE(result.partials, (QStringList{"One ", "One AB", "One AB xy"}));
    }

    void wholeAnswers_data()
    {
        QTest::addColumn<QString>("providerID");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("errorKind");
        const int none = -1, empty = int(Kind::emptyResponse),
                  undecodable = int(Kind::decodingFailed);
        QTest::newRow("chat, first choice trimmed")
            << "openrouter"
            << QByteArray(
                   R"({"choices":[{"message":{"content":"\n Hi \n"}},{"message":{"content":"B"}}]})")
            << "Hi" << none;
        QTest::newRow("chat, no choices")
            << "xai" << QByteArray(R"({"choices":[]})") << "" << empty;
        QTest::newRow("chat, blank content")
            << "xai" << QByteArray(R"({"choices":[{"message":{"content":" \n"}}]})") << "" << empty;
        QTest::newRow("chat, null content")
            << "openai" << QByteArray(R"({"choices":[{"message":{"content":null}}]})") << ""
            << undecodable;
        QTest::newRow("chat, not JSON")
            << "openai" << QByteArray("upstream said no\n") << "" << undecodable;
        QTest::newRow("anthropic, text blocks around a tool block")
            << "anthropic"
            << QByteArray(
                   R"({"content":[{"type":"text","text":"Hello, "},{"type":"tool_use","id":"t","input":{}},{"type":"text","text":"world"}]})")
            << "Hello, world" << none;
        QTest::newRow("anthropic, no blocks")
            << "anthropic" << QByteArray(R"({"content":[]})") << "" << empty;
        QTest::newRow("anthropic, block without type")
            << "anthropic" << QByteArray(R"({"content":[{"text":"x"}]})") << "" << undecodable;
        QTest::newRow("gemini, first candidate's parts")
            << "google"
            << QByteArray(
                   R"({"candidates":[{"content":{"parts":[{"text":"Bon"},{"text":"jour"}]}},{"content":{"parts":[{"text":"Hello"}]}}]})")
            << "Bonjour" << none;
        QTest::newRow("gemini, no candidates")
            << "google" << QByteArray(R"({"candidates":[]})") << "" << empty;
        QTest::newRow("gemini, blocked prompt")
            << "google" << QByteArray(R"({"promptFeedback":{"blockReason":"SAFETY"}})") << ""
            << undecodable;
        QTest::newRow("gemini, candidate without content")
            << "google" << QByteArray(R"({"candidates":[{"finishReason":"SAFETY"}]})") << ""
            << undecodable;
    }

    void wholeAnswers()
    {
        QFETCH(QString, providerID);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QFETCH(int, errorKind);
        const Exchange result = answer(providerID, Response::body(200, body), false);
        if (errorKind < 0) {
            QCOMPARE(result.state, AIReply::State::succeeded);
            QCOMPARE(result.text, text);
            return;
        }
        QCOMPARE(result.state, AIReply::State::failed);
        QCOMPARE(int(result.error->kind()), errorKind);
        // A body of the wrong shape is quoted, so the user sees what came back.
        if (errorKind == int(Kind::decodingFailed))
            QCOMPARE(result.error->message().value_or(QString()),
                     QString::fromUtf8(body).trimmed());
    }

    void errorBodiesInEachProvidersShape_data()
    {
        QTest::addColumn<QString>("providerID");
        QTest::addColumn<bool>("streamed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("openai 401")
            << "openai" << false << 401
            << QByteArray(
                   R"({"error":{"message":"Incorrect API key provided.","type":"invalid_request_error","param":null,"code":"invalid_api_key"}})")
            << "Incorrect API key provided.";
        // A failed stream is reported by its status alone.
        QTest::newRow("openai 429 streamed")
            << "openai" << true << 429
            << QByteArray(R"({"error":{"message":"Rate limit reached","type":"requests"}})") << "";
        QTest::newRow("xai 500 html")
            << "xai" << false << 500
            << QByteArray("<html><body>Internal Server Error</body></html>\n")
            << "<html><body>Internal Server Error</body></html>";
        QTest::newRow("anthropic 429")
            << "anthropic" << true << 429
            << QByteArray(
                   R"({"type":"error","error":{"type":"rate_limit_error","message":"Rate limit exceeded"}})")
            << "Rate limit exceeded";
        QTest::newRow("gemini 400")
            << "google" << false << 400
            << QByteArray(
                   R"({"error":{"code":400,"message":"API key not valid.","status":"INVALID_ARGUMENT"}})")
            << "API key not valid.";
    }

    void errorBodiesInEachProvidersShape()
    {
        QFETCH(QString, providerID);
        QFETCH(bool, streamed);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        const Exchange result = answer(providerID, Response::body(status, body), streamed);
        QCOMPARE(result.state, AIReply::State::failed);
        QCOMPARE(result.error->kind(), Kind::requestFailed);
        QCOMPARE(result.error->statusCode(), status);
        QCOMPARE(result.error->userFacingMessage(),
                 message.isEmpty() ? QStringLiteral("Request failed. Please try again.") : message);
        QVERIFY(!result.error->errorDescription().contains(m_geminiKey));
    }

    void cleanupTestCase()
    {
        // Gemini's key travels in the URL; nothing may write it to the log.
        QVERIFY(!TestSandbox::flushedLog().contains(m_geminiKey));
    }
};

QTEST_GUILESS_MAIN(TestProviderAnswers)
#include "test_provideranswers.moc"

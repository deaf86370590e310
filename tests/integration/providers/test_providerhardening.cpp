// What a misbehaving or hostile provider endpoint can make of a request: a
// redirect to another origin, an error body that quotes the key, a stream
// cut short where only the connection's close delimits it, a line that never
// ends.

#include "ProviderTestSupport.h"
#include "core/ai/AIRequestAttempt.h"
#include "support/TestSandbox.h"

#include <QJsonArray>
#include <QTest>

using namespace ProviderTestSupport;
using Response = TestHttpServer::Response;
using Kind = AIClientError::Kind;

namespace {

const QString key = QStringLiteral("sk-live/secret+key=42");

QByteArray chunk(const char *text)
{
    return TestHttpServer::sseData(QJsonObject{
        {"choices", QJsonArray{QJsonObject{{"delta", QJsonObject{{"content", text}}}}}}});
}

} // namespace

class TestProviderHardening : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    TestHttpServer m_elsewhere;

    Exchange send(const QString &providerID, const Response &response, bool stream)
    {
        m_server.enqueue("POST", endpointPath(providerID), response);
        // A client of its own for each exchange, so no connection is reused:
        // the previous response's closing connection must not meet this
        // request (a body is sent once, and Qt cannot resend it elsewhere).
        AIClient client;
        return exchange(m_server, client, providerID, makeContext(ContextKind::text, key), stream);
    }

private Q_SLOTS:
    void initTestCase() { writeUserCatalog(m_server); }

    // The credential travels in a header (or Gemini's query): it must never
    // follow a redirect to another host or port.
    void redirectsToAnotherOriginAreRefused_data()
    {
        QTest::addColumn<QString>("providerID");
        QTest::addColumn<bool>("stream");
        QTest::newRow("openai whole") << "openai" << false;
        QTest::newRow("openai streamed") << "openai" << true;
        QTest::newRow("anthropic") << "anthropic" << false;
        QTest::newRow("google") << "google" << false;
    }

    void redirectsToAnotherOriginAreRefused()
    {
        QFETCH(QString, providerID);
        QFETCH(bool, stream);
        m_elsewhere.setDefault("*", "/collect", Response::body(200, "{}"));
        const qsizetype mark = TestSandbox::flushedLog().size();
        const Exchange result =
            send(providerID,
                 Response::body(307, {}).withHeader(
                     "Location", m_elsewhere.url(QStringLiteral("/collect")).toEncoded()),
                 stream);
        QCOMPARE(result.state, AIReply::State::failed);
        QVERIFY(result.request); // the endpoint itself was asked
        TestHttpServer::waitUntil([] { return false; }, 100);
        QCOMPARE(m_elsewhere.requestCount(), 0);
        const QString log = TestSandbox::flushedLog().mid(mark);
        QVERIFY2(log.contains(QStringLiteral("redirected the request to another origin")),
                 qPrintable(log));
    }

    // Each attempt sends its body once (so the server never sees a request
    // twice), which leaves nothing to resend to a redirect's target: even a
    // redirect within the origin fails the request, and says why.
    void redirectsWithinTheOriginFailClearly()
    {
        const qsizetype mark = TestSandbox::flushedLog().size();
        const Exchange result =
            send("openai",
                 Response::body(307, {}).withHeader("Location", m_server.url("/moved").toEncoded()),
                 false);
        QCOMPARE(result.state, AIReply::State::failed);
        QVERIFY(m_server.requestsTo("/moved").isEmpty());
        const QString log = TestSandbox::flushedLog().mid(mark);
        QVERIFY2(log.contains(QStringLiteral("redirect")), qPrintable(log));
    }

    // Whatever way the server quotes the key back, it reaches neither the
    // error's texts nor the log.
    void keysQuotedInErrorBodiesAreRedacted_data()
    {
        QTest::addColumn<QString>("providerID");
        QTest::addColumn<QByteArray>("echo");
        const QByteArray raw = key.toUtf8();
        QTest::newRow("raw") << "openai" << raw;
        QTest::newRow("percent-encoded") << "google" << QUrl::toPercentEncoding(key);
        QTest::newRow("percent-encoded, lower case")
            << "anthropic" << QUrl::toPercentEncoding(key).toLower();
        QTest::newRow("base64") << "openai" << raw.toBase64();
        QTest::newRow("base64url")
            << "xai"
            << raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        QTest::newRow("JSON-escaped slash")
            << "openrouter" << QByteArray(raw).replace("/", "\\\\/");
    }

    void keysQuotedInErrorBodiesAreRedacted()
    {
        QFETCH(QString, providerID);
        QFETCH(QByteArray, echo);
        const qsizetype mark = TestSandbox::flushedLog().size();
        const Exchange result = send(
            providerID,
            Response::body(401, "{\"error\": {\"message\": \"Incorrect API key provided: " + echo +
                                    ". Find your key at example.\"}}"),
            false);
        QCOMPARE(result.state, AIReply::State::failed);
        const QString texts = result.error->errorDescription() + u'\n' +
                              result.error->userFacingMessage() + u'\n' +
                              TestSandbox::flushedLog().mid(mark);
        QVERIFY2(texts.contains(QStringLiteral("Incorrect API key provided: [redacted].")),
                 qPrintable(texts));
        for (const QString &form :
             {key, QString::fromLatin1(QUrl::toPercentEncoding(key)),
              QString::fromLatin1(key.toUtf8().toBase64()), QString::fromLatin1(echo)})
            QVERIFY2(!texts.contains(form), qPrintable(texts));
    }

    // Only the connection's close ends such a body, and a failure in the
    // middle looks the same: without the format's end event it is cut short.
    // The pieces come apart: when the head, the body and the close arrive at
    // once, Qt 6.4 may take the close for a stale connection and fail the
    // request (a body is never sent twice).
    void closeDelimitedStreamWithoutItsEndEventIsInterrupted()
    {
        const Exchange cut = send("openai",
                                  Response::eventStream({chunk("Half "), chunk("an answer")}, 30)
                                      .withFraming(Response::Framing::untilClose)
                                      .withEnding(Response::Ending::close),
                                  true);
        QCOMPARE(cut.state, AIReply::State::failed);
        QCOMPARE(cut.error->kind(), Kind::streamInterrupted);
        QCOMPARE(cut.error->partialText(), QStringLiteral("Half an answer"));

        const Exchange whole =
            send("openai",
                 Response::eventStream({chunk("Whole"), TestHttpServer::sseData("[DONE]")}, 30)
                     .withFraming(Response::Framing::untilClose)
                     .withEnding(Response::Ending::close),
                 true);
        QCOMPARE(whole.state, AIReply::State::succeeded);
        QCOMPARE(whole.text, QStringLiteral("Whole"));

        // Chunked and length-delimited bodies keep their rules: their end is
        // known without the event.
        for (const auto framing : {Response::Framing::chunked, Response::Framing::contentLength}) {
            const Exchange framed =
                send("openai", Response::eventStream({chunk("Framed")}).withFraming(framing), true);
            QCOMPARE(framed.state, AIReply::State::succeeded);
            QCOMPARE(framed.text, QStringLiteral("Framed"));
        }
    }

    void repliesBeyondTheLimitFail()
    {
        const QByteArray endless =
            "data: {\"choices\":[{\"delta\":{\"content\":\"" +
            QByteArray(AIStreamingResponseAttempt::maximumEventLineBytes + 1024, 'x');
        const Exchange result = send(
            "openai",
            Response::eventStream({chunk("Start"), endless}).withEnding(Response::Ending::stall),
            true);
        QCOMPARE(result.state, AIReply::State::failed);
        QCOMPARE(result.error->kind(), Kind::streamInterrupted);
        QVERIFY2(result.error->errorDescription().contains(QStringLiteral("longer than 4 MiB")),
                 qPrintable(result.error->errorDescription()));

        // A whole answer is bounded too, as it arrives.
        const Exchange whole = send(
            "openai",
            Response::body(200, QByteArray(AIWholeResponseAttempt::maximumBodyBytes + 1024, ' '))
                .withEnding(Response::Ending::stall),
            false);
        QCOMPARE(whole.state, AIReply::State::failed);
        QVERIFY2(whole.error->errorDescription().contains(QStringLiteral("larger than 16 MiB")),
                 qPrintable(whole.error->errorDescription()));
    }
};

QTEST_GUILESS_MAIN(TestProviderHardening)
#include "test_providerhardening.moc"

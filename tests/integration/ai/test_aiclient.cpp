#include "core/ai/AIClient.h"
#include "core/ai/NetworkProxies.h"
#include "core/ai/ServerSentEventLineReader.h"
#include "support/TestConnectProxy.h"
#include "support/TestHttpServer.h"
#include "support/TestSandbox.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTest>

using Response = TestHttpServer::Response;

namespace {

const QByteArray chatPath = "/v1/chat/completions";

// A stream that breaks with `ending` after its pieces. The pieces are framed
// by pauses (an empty piece writes nothing): when a close arrives in the same
// read as the response head and its first data, Qt's HTTP/1.1 reader takes
// the cut-short body for a complete one (and may send the request again).
Response brokenStream(const QByteArrayList &pieces, Response::Ending ending)
{
    return Response::eventStream(
               QByteArrayList{QByteArray()} + pieces + QByteArrayList{QByteArray()}, 50)
        .withEnding(ending);
}

// The OpenAI chat-completion chunk shape; {"error": "..."} is an error event.
AIDecodeResult decodeChatChunk(QByteArrayView payload)
{
    const QJsonObject object = QJsonDocument::fromJson(payload.toByteArray()).object();
    if (object.value(QStringLiteral("error")).isString())
        return AIDecodeResult::failure(
            AIClientError::requestFailed(500, object.value(QStringLiteral("error")).toString()));
    const QJsonArray choices = object.value(QStringLiteral("choices")).toArray();
    if (choices.isEmpty())
        return AIDecodeResult::undecodable();
    return AIDecodeResult::ofText(choices.first()
                                      .toObject()
                                      .value(QStringLiteral("delta"))
                                      .toObject()
                                      .value(QStringLiteral("content"))
                                      .toString());
}

AIDecodeResult decodeWholeBody(const QByteArray &body)
{
    const QJsonValue text = QJsonDocument::fromJson(body).object().value(QStringLiteral("text"));
    return text.isString() ? AIDecodeResult::ofText(text.toString())
                           : AIDecodeResult::undecodable();
}

QByteArray chunk(const QString &text)
{
    const QJsonObject delta{{QStringLiteral("content"), text}};
    return TestHttpServer::sseData(QJsonObject{
        {QStringLiteral("choices"), QJsonArray{QJsonObject{{QStringLiteral("delta"), delta}}}}});
}

QByteArray chunkLine(const QString &text, const QByteArray &lineEnd)
{
    return chunk(text).chopped(2) + lineEnd + lineEnd;
}

AIRequestOptions options(AIRequestTimeoutRetryPolicy policy, double timeout = 10,
                         double hedgeAfter = 20)
{
    AIRequestOptions result = AIRequestOptions::standard(QStringLiteral("test"), policy);
    result.timeoutInterval = timeout;
    result.hedgedRequestTimeoutInterval = timeout;
    result.hedgeAfterNoResponseInterval = hedgeAfter;
    return result;
}

// The part of the shared log written since `mark` (its size then).
QString logSince(qsizetype mark)
{
    return TestSandbox::flushedLog().mid(mark);
}

} // namespace

class TestAIClient : public QObject
{
    Q_OBJECT

    // One request in flight: its reply, the partial texts the caller saw and
    // whether finished() was emitted.
    struct Call
    {
        AIReply *reply = nullptr;
        QStringList partials;
        bool finished = false;

        bool wait(int timeoutMs = 10000)
        {
            return TestHttpServer::waitUntil([this] { return finished; }, timeoutMs);
        }
    };

    AIHttpRequest request(const QString &pathAndQuery = QString::fromLatin1(chatPath)) const
    {
        AIHttpRequest result;
        result.request = QNetworkRequest(m_server->url(pathAndQuery));
        result.request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        result.body = R"({"model":"m"})";
        return result;
    }

    std::unique_ptr<Call> stream(const AIRequestOptions &requestOptions,
                                 const QString &pathAndQuery = QString::fromLatin1(chatPath))
    {
        return stream(requestOptions, m_server->url(pathAndQuery));
    }

    std::unique_ptr<Call> stream(const AIRequestOptions &requestOptions, const QUrl &url)
    {
        auto call = std::make_unique<Call>();
        Call *raw = call.get();
        AIHttpRequest streamed = request();
        streamed.request.setUrl(url);
        raw->reply = m_client->performStreamingRequest(
            streamed, requestOptions,
            [raw](const QString &textSoFar) { raw->partials.append(textSoFar); }, decodeChatChunk);
        watch(raw);
        return call;
    }

    std::unique_ptr<Call> whole(const AIRequestOptions &requestOptions,
                                const QString &pathAndQuery = QString::fromLatin1(chatPath))
    {
        auto call = std::make_unique<Call>();
        call->reply =
            m_client->performRequest(request(pathAndQuery), requestOptions, decodeWholeBody);
        watch(call.get());
        return call;
    }

    void watch(Call *call)
    {
        call->reply->setParent(this);
        connect(call->reply, &AIReply::finished, this, [call] { call->finished = true; });
    }

    static void verifyText(const Call &call, const QString &text)
    {
        QVERIFY2(call.reply->state() == AIReply::State::succeeded,
                 call.reply->error() ? qPrintable(call.reply->error()->errorDescription()) : "");
        QCOMPARE(call.reply->text(), text);
    }

    TestHttpServer *m_server = nullptr;
    AIClient *m_client = nullptr;

private Q_SLOTS:
    void init()
    {
        m_server = new TestHttpServer(this);
        m_client = new AIClient(this);
    }

    void cleanup()
    {
        delete m_client;
        delete m_server;
    }

    // --- Line reading, whatever the network does ---

    void lineReaderIsIndependentOfReadBoundaries()
    {
        const QByteArray body =
            "data: a\r\ndata: b\rdata: c\n\r\n: note\ndata: \xc3\xa9\xe2\x82\xac"
            "\xf0\x9f\x98\x80\r\rdata:x";
        const QByteArrayList expected = {"data: a", "data: b",
                                         "data: c", "",
                                         ": note",  "data: \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
                                         "",        "data:x"};
        auto read = [](const QByteArrayList &pieces) {
            ServerSentEventLineReader reader;
            QByteArrayList lines;
            const auto collect = [&lines](QByteArrayView line) {
                lines.append(line.toByteArray());
                return true;
            };
            for (const QByteArray &piece : pieces)
                reader.feed(piece, collect);
            reader.finish(collect);
            return lines;
        };
        QCOMPARE(read({body}), expected);
        for (qsizetype cut = 1; cut < body.size(); ++cut)
            QCOMPARE(read({body.left(cut), body.mid(cut)}), expected);
        QByteArrayList bytes;
        for (const char byte : body)
            bytes.append(QByteArray(1, byte));
        QCOMPARE(read(bytes), expected);
    }

    // --- Stream framing over the network ---

    void streamFraming_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QList<qsizetype>>("splits");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("partials");

        const QByteArray hello = chunk(QStringLiteral("Hello"));
        const QByteArray world = chunk(QStringLiteral(" world"));
        QTest::newRow("[DONE] with a space")
            << QByteArrayList{hello, world, "data: [DONE]\n\n", chunk(QStringLiteral("late"))}
            << QList<qsizetype>{} << "Hello world"
            << QStringList{QStringLiteral("Hello"), QStringLiteral("Hello world")};
        QTest::newRow("[DONE] without a space, data without space")
            << QByteArrayList{"data:" + hello.mid(6), "data:[DONE]\n\n", world}
            << QList<qsizetype>{} << "Hello" << QStringList{QStringLiteral("Hello")};
        QTest::newRow("no [DONE], trimmed, empty and comment lines skipped")
            << QByteArrayList{": keep-alive\n\n",
                              "data:\n\n",
                              "event: delta\n",
                              chunk(QStringLiteral("  Hi")),
                              chunk(QString()),
                              "data: not json\n\n",
                              chunk(QStringLiteral(" there \n"))}
            << QList<qsizetype>{} << "Hi there"
            << QStringList{QStringLiteral("  Hi"), QStringLiteral("  Hi there \n")};

        const QByteArray crlf = chunkLine(QStringLiteral("one"), "\r\n") +
                                chunkLine(QStringLiteral("two"), "\r") +
                                chunkLine(QStringLiteral("three"), "\n") + "data: [DONE]\r\n";
        QTest::newRow("CRLF, CR and LF")
            << QByteArrayList{crlf} << QList<qsizetype>{} << "onetwothree"
            << QStringList{"one", "onetwo", "onetwothree"};
        // Every read ends between a CR and its LF.
        QList<qsizetype> afterEachCR;
        for (qsizetype i = 0; i < crlf.size(); ++i) {
            if (crlf[i] == '\r')
                afterEachCR.append(i + 1);
        }
        QTest::newRow("CR and LF in different reads")
            << QByteArrayList{crlf} << afterEachCR << "onetwothree"
            << QStringList{"one", "onetwo", "onetwothree"};

        const QByteArray utf8 =
            chunk(QStringLiteral("caf\u00e9 \u20ac\U0001F600")) + "data: [DONE]\n\n";
        QList<qsizetype> insideCharacters;
        for (const char *character : {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"})
            insideCharacters.append(utf8.indexOf(character) + 1);
        QTest::newRow("UTF-8 characters split between reads")
            << QByteArrayList{utf8} << insideCharacters
            << QStringLiteral("caf\u00e9 \u20ac\U0001F600")
            << QStringList{QStringLiteral("caf\u00e9 \u20ac\U0001F600")};

        const QString longText(300000, u'x');
        const QByteArray longLine = chunk(longText);
        QTest::newRow("a very long line in many reads")
            << QByteArrayList{longLine} << QList<qsizetype>{1000, 65536, 131072, 200000} << longText
            << QStringList{longText};
    }

    void streamFraming()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QList<qsizetype>, splits);
        QFETCH(QString, text);
        QFETCH(QStringList, partials);

        m_server->enqueue("POST", chatPath, Response::eventStream(pieces, 10).splitAt(splits, 30));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::none));
        QVERIFY(call->wait());
        verifyText(*call, text);
        QCOMPARE(call->partials, partials);
    }

    void streamWithoutTextIsEmptyResponse()
    {
        m_server->enqueue(
            "POST", chatPath,
            Response::eventStream({": ping\n\n", chunk(QString()), "data: [DONE]\n\n"}));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::none));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->state(), AIReply::State::failed);
        QCOMPARE(call->reply->error()->kind(), AIClientError::Kind::emptyResponse);
        QVERIFY(call->partials.isEmpty());
    }

    void decoderFailureEndsTheStream()
    {
        m_server->enqueue("POST", chatPath,
                          Response::eventStream({chunk(QStringLiteral("Par")),
                                                 "data: {\"error\":\"Quota exceeded\"}\n\n",
                                                 chunk(QStringLiteral("tial"))})
                              .withEnding(Response::Ending::stall));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::none));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->state(), AIReply::State::failed);
        QCOMPARE(call->reply->error()->userFacingMessage(), QStringLiteral("Quota exceeded"));
        QCOMPARE(call->partials, QStringList{QStringLiteral("Par")});
    }

    // --- Whole bodies and error statuses ---

    void wholeBodies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("userMessage");

        const QString retry = QStringLiteral("Request failed. Please try again.");
        QTest::newRow("2xx decoded and trimmed") << 200 << QByteArray(R"({"text":"  Bonjour\n"})")
                                                 << "Bonjour" << QString() << QString();
        QTest::newRow("2xx not the expected JSON is quoted")
            << 200 << QByteArray("  {\"unexpected\": true}\n") << QString()
            << R"(Failed to decode response: {"unexpected": true})" << retry;
        QTest::newRow("2xx undecodable with an error member")
            << 200 << QByteArray(R"({"error":{"message":"Overloaded"}})") << QString()
            << "Failed to decode response: Overloaded" << retry;
        QTest::newRow("error.message") << 401 << QByteArray(R"({"error":{"message":"Bad key"}})")
                                       << QString() << "Request failed (401): Bad key"
                                       << "Bad key";
        QTest::newRow("message") << 400 << QByteArray(R"({"message":"Bad model","error":{}})")
                                 << QString() << "Request failed (400): Bad model"
                                 << "Bad model";
        QTest::newRow("error as a string") << 429 << QByteArray(R"({"error":"Slow down"})")
                                           << QString() << "Request failed (429): Slow down"
                                           << "Slow down";
        QTest::newRow("error.error.message")
            << 500 << QByteArray(R"({"error":{"error":{"message":"Deep"}}})") << QString()
            << "Request failed (500): Deep"
            << "Deep";
        QTest::newRow("plain text") << 503 << QByteArray("\n  Service unavailable  \n") << QString()
                                    << "Request failed (503): Service unavailable"
                                    << "Service unavailable";
        QTest::newRow("empty body")
            << 502 << QByteArray() << QString() << "Request failed (502)." << retry;
        QTest::newRow("not UTF-8")
            << 500 << QByteArray("\xff\xfe") << QString() << "Request failed (500)." << retry;
    }

    void wholeBodies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QFETCH(QString, description);
        QFETCH(QString, userMessage);

        m_server->enqueue("POST", chatPath, Response::body(status, body));
        auto call = whole(options(AIRequestTimeoutRetryPolicy::none));
        QVERIFY(call->wait());
        if (!text.isNull())
            return verifyText(*call, text);
        QCOMPARE(call->reply->state(), AIReply::State::failed);
        QCOMPARE(call->reply->error()->errorDescription(), description);
        QCOMPARE(call->reply->error()->userFacingMessage(), userMessage);
    }

    void errorStatusOnAStreamIsNotRead()
    {
        m_server->enqueue("POST", chatPath,
                          Response::body(401, R"({"error":{"message":"Bad key"}})"));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::none));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->error()->errorDescription(), QStringLiteral("Request failed (401)."));
        QCOMPARE(call->reply->error()->userFacingMessage(),
                 QStringLiteral("Request failed. Please try again."));
    }

    // --- Time-outs (idle time-outs) ---

    void replayPolicyReplaysOnceAfterATimeout()
    {
        m_server->setDefault("POST", chatPath, Response::silence());
        const qsizetype mark = TestSandbox::flushedLog().size();
        auto call = stream(options(AIRequestTimeoutRetryPolicy::unsafeSingleReplay, 0.3));
        QVERIFY(call->wait());
        QCOMPARE(m_server->requestCount(), 2);
        QCOMPARE(m_server->requests().at(1).body, m_server->requests().at(0).body);
        QCOMPARE(call->reply->error()->errorDescription(),
                 QStringLiteral("Request failed (408): The request timed out."));
        QCOMPARE(
            logSince(mark).count(QStringLiteral("[INFO] LLM request timed out for provider=test "
                                                "attempt=1 timeout=0s policy=unsafe replay; "
                                                "retrying.")),
            1);
    }

    void replayAnswersAfterTheFirstTimeout()
    {
        m_server->enqueue("POST", chatPath, Response::silence());
        m_server->enqueue("POST", chatPath, Response::body(200, R"({"text":"second"})"));
        auto call = whole(options(AIRequestTimeoutRetryPolicy::providerManagedSingleReplay, 0.3));
        QVERIFY(call->wait());
        verifyText(*call, QStringLiteral("second"));
    }

    void policyNoneReportsATimeoutWithoutReplay()
    {
        m_server->setDefault("POST", chatPath, Response::silence());
        const qsizetype mark = TestSandbox::flushedLog().size();
        auto call = whole(options(AIRequestTimeoutRetryPolicy::none, 0.3));
        QVERIFY(call->wait());
        QCOMPARE(m_server->requestCount(), 1);
        QCOMPARE(call->reply->error()->userFacingMessage(),
                 QStringLiteral("The request timed out."));
        QVERIFY(!logSince(mark).contains(QStringLiteral("retrying")));
    }

    void aSlowButSteadyStreamDoesNotTimeOut()
    {
        QByteArrayList pieces;
        for (int i = 0; i < 8; ++i)
            pieces.append(chunk(QString::number(i)));
        // Eight pieces 0.15 s apart take longer than the 0.6 s idle time-out.
        m_server->enqueue("POST", chatPath, Response::eventStream(pieces, 150));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::none, 0.6));
        QVERIFY(call->wait());
        verifyText(*call, QStringLiteral("01234567"));
    }

    // --- Hedging ---

    void hedgeIsNotStartedWhenThePrimaryAnswers()
    {
        m_server->enqueue("POST", chatPath,
                          Response::eventStream({chunk("ok"), "data: [DONE]\n\n"}));
        const qsizetype mark = TestSandbox::flushedLog().size();
        auto call = stream(options(AIRequestTimeoutRetryPolicy::unsafeSingleHedge, 5, 0.3));
        QVERIFY(call->wait());
        verifyText(*call, QStringLiteral("ok"));
        QTest::qWait(500); // past the hedge interval
        QCOMPARE(m_server->requestCount(), 1);
        QVERIFY(!logSince(mark).contains(QStringLiteral("starting hedged attempt")));
    }

    void silentPrimaryIsHedgedAndTheFirstToReceiveDataOwnsThePartials()
    {
        // The primary answers only after the hedge has started streaming.
        m_server->enqueue(
            "POST", chatPath,
            Response::eventStream({chunk("P1"), chunk("P2"), "data: [DONE]\n\n"}, 1500)
                .withHeadDelay(600));
        m_server->enqueue(
            "POST", chatPath,
            Response::eventStream({chunk("H1"), chunk("H2"), "data: [DONE]\n\n"}, 800));
        const qsizetype mark = TestSandbox::flushedLog().size();
        auto call =
            stream(options(AIRequestTimeoutRetryPolicy::providerManagedSingleHedge, 5, 0.2));
        QVERIFY(call->wait());
        verifyText(*call, QStringLiteral("H1H2"));
        QCOMPARE(call->partials, (QStringList{QStringLiteral("H1"), QStringLiteral("H1H2")}));
        QCOMPARE(m_server->requestCount(), 2);
        QCOMPARE(logSince(mark).count(QStringLiteral(
                     "[INFO] LLM request produced no response bytes for provider=test after 0s; "
                     "starting hedged attempt with timeout=5s policy=provider-managed hedge.")),
                 1);
        // The losing primary's transfer is ended.
        QVERIFY(m_server->waitForClientClosedConnections(1));
    }

    void primaryFailingBeforeTheHedgeIsReportedAtOnce()
    {
        m_server->enqueue("POST", chatPath, Response::body(500, R"({"error":"Down"})"));
        m_server->setDefault("POST", chatPath, Response::eventStream({chunk("never")}));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::unsafeSingleHedge, 5, 0.3));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->error()->statusCode(), 500);
        QTest::qWait(500); // past the hedge interval
        QCOMPARE(m_server->requestCount(), 1);
    }

    void primaryFailingAfterTheHedgeStartedAwaitsTheHedge()
    {
        m_server->enqueue("POST", chatPath, Response::body(500, "Down").withHeadDelay(500));
        m_server->enqueue("POST", chatPath,
                          Response::body(200, R"({"text":"from the hedge"})").withHeadDelay(900));
        auto call = whole(options(AIRequestTimeoutRetryPolicy::unsafeSingleHedge, 5, 0.2));
        QVERIFY(call->wait());
        verifyText(*call, QStringLiteral("from the hedge"));
    }

    void bothHedgedAttemptsFailingReportTheFirstFailure()
    {
        m_server->enqueue("POST", chatPath, Response::silence());
        m_server->enqueue("POST", chatPath, Response::body(503, "Busy"));
        auto call = whole(options(AIRequestTimeoutRetryPolicy::unsafeSingleHedge, 0.8, 0.2));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->error()->errorDescription(),
                 QStringLiteral("Request failed (503): Busy"));
    }

    // --- Cancellation ---

    void cancellingAStreamAbortsTheTransfer()
    {
        QByteArrayList pieces;
        for (int i = 0; i < 20; ++i)
            pieces.append(chunk(QString::number(i)));
        m_server->enqueue("POST", chatPath, Response::eventStream(pieces, 100));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::none));
        QVERIFY(TestHttpServer::waitUntil([&] { return !call->partials.isEmpty(); }));
        call->reply->cancel();
        const qsizetype seen = call->partials.size();
        QVERIFY(m_server->waitForClientClosedConnections(1));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->state(), AIReply::State::cancelled);
        QVERIFY(!call->reply->error());
        QTest::qWait(300);
        QCOMPARE(call->partials.size(), seen);
    }

    void cancellingAHedgedRequestAbortsBothAttempts()
    {
        m_server->setDefault("POST", chatPath, Response::silence());
        auto call = stream(options(AIRequestTimeoutRetryPolicy::unsafeSingleHedge, 5, 0.1));
        QVERIFY(m_server->waitForRequests(2));
        call->reply->cancel();
        QVERIFY(m_server->waitForClientClosedConnections(2));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->state(), AIReply::State::cancelled);
    }

    // --- A stream that breaks ---

    void streamBrokenAfterTextIsInterruptedNotComplete_data()
    {
        QTest::addColumn<int>("ending");
        QTest::addRow("closed") << int(Response::Ending::close);
        QTest::addRow("reset") << int(Response::Ending::reset);
        QTest::addRow("idle time-out") << int(Response::Ending::stall);
    }

    void streamBrokenAfterTextIsInterruptedNotComplete()
    {
        QFETCH(int, ending);
        m_server->enqueue(
            "POST", chatPath,
            brokenStream({chunk("Hello"), chunk(" wor"), ": wait\n\n"}, Response::Ending(ending)));
        // A replay policy: text was shown, so the request must not be sent again.
        auto call = stream(options(AIRequestTimeoutRetryPolicy::unsafeSingleReplay, 0.5));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->state(), AIReply::State::failed);
        const AIClientError &error = *call->reply->error();
        QCOMPARE(error.kind(), AIClientError::Kind::streamInterrupted);
        QCOMPARE(error.partialText(), QStringLiteral("Hello wor"));
        QCOMPARE(error.userFacingMessage(),
                 QStringLiteral("Response interrupted; content may be incomplete."));
        QCOMPARE(error.cause()->isTimedOut(), ending == int(Response::Ending::stall));
        QCOMPARE(m_server->requestCount(), 1);
    }

    void streamBrokenBeforeTextIsANetworkFailure()
    {
        m_server->enqueue("POST", chatPath, brokenStream({": hello\n\n"}, Response::Ending::close));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::none));
        QVERIFY(call->wait());
        QCOMPARE(call->reply->error()->kind(), AIClientError::Kind::network);
        QCOMPARE(call->reply->error()->networkError(), int(QNetworkReply::RemoteHostClosedError));
    }

    // --- Never a second request; never a cut stream called complete ---

    // The head, the text and the end of the connection arrive together, as
    // from a server that dies right after answering: the case in which Qt's
    // HTTP/1.1 channel may take the close for a stale connection and send the
    // POST again. Whatever the timing, the server sees one request per
    // attempt, and a reply that showed text ends as interrupted.
    void streamCutRightAfterItsHeadIsSentOnceAndNeverComplete_data()
    {
        QTest::addColumn<int>("ending");
        QTest::addColumn<int>("policy");
        const int replay = int(AIRequestTimeoutRetryPolicy::unsafeSingleReplay);
        const int hedge = int(AIRequestTimeoutRetryPolicy::unsafeSingleHedge);
        QTest::addRow("closed") << int(Response::Ending::close) << replay;
        QTest::addRow("reset") << int(Response::Ending::reset) << replay;
        QTest::addRow("closed, hedged") << int(Response::Ending::close) << hedge;
        QTest::addRow("reset, hedged") << int(Response::Ending::reset) << hedge;
    }

    void streamCutRightAfterItsHeadIsSentOnceAndNeverComplete()
    {
        QFETCH(int, ending);
        QFETCH(int, policy);
        constexpr int repetitions = 60;
        int interrupted = 0;
        for (int i = 1; i <= repetitions; ++i) {
            m_server->enqueue("POST", chatPath,
                              Response::eventStream({chunk("Hello"), chunk(" there")})
                                  .withEnding(Response::Ending(ending)));
            auto call = stream(options(AIRequestTimeoutRetryPolicy(policy), 10, 0.05));
            QVERIFY(call->wait());
            QCOMPARE_NE(call->reply->state(), AIReply::State::succeeded);
            const AIClientError &error = *call->reply->error();
            if (call->partials.isEmpty()) {
                QCOMPARE(error.kind(), AIClientError::Kind::network);
            } else {
                QCOMPARE(error.kind(), AIClientError::Kind::streamInterrupted);
                QVERIFY(QStringLiteral("Hello there").startsWith(error.partialText()));
                ++interrupted;
            }
            QCOMPARE(m_server->requestCount(), i);
        }
        // A resend would reach the server after the attempt ended.
        QTest::qWait(200);
        QCOMPARE(m_server->requestCount(), repetitions);
        QVERIFY(interrupted > 0);
    }

    // A kept connection that the server has dropped meets the next request
    // with a close before any answer: that request goes once more, on a new
    // connection. On a connection opened for it, the same close is the
    // server's own doing: no second request.
    void requestOnADroppedKeptConnectionIsSentAgainOnce()
    {
        m_server->enqueue("POST", chatPath, Response::eventStream({chunk("One")}));
        m_server->enqueue("POST", chatPath, Response::hangUp());
        m_server->enqueue("POST", chatPath, Response::eventStream({chunk("Two")}));
        m_server->enqueue("POST", chatPath, Response::hangUp());
        const qsizetype logMark = TestSandbox::flushedLog().size();
        for (const char *text : {"One", "Two"}) {
            auto call = stream(options(AIRequestTimeoutRetryPolicy::none));
            QVERIFY(call->wait());
            verifyText(*call, QString::fromLatin1(text));
        }
        auto refused = stream(options(AIRequestTimeoutRetryPolicy::none));
        QVERIFY(refused->wait());
        QCOMPARE(refused->reply->state(), AIReply::State::failed);

        QTest::qWait(200); // a resend would reach the server after the failure
        QList<int> connections;
        for (const auto &request : m_server->requests())
            connections.append(request.connection);
        QCOMPARE(connections, (QList<int>{1, 1, 2, 3}));
        QCOMPARE(logSince(logMark).count(QStringLiteral("resent on a new connection")), 1);
    }

    // Without "[DONE]" but with the last chunk, the stream is complete.
    void streamEndingCleanlyWithoutDoneIsCompleteAndSentOnce()
    {
        constexpr int repetitions = 30;
        for (int i = 1; i <= repetitions; ++i) {
            m_server->enqueue("POST", chatPath,
                              Response::eventStream({chunk("Hello"), chunk(" there")}));
            auto call = stream(options(AIRequestTimeoutRetryPolicy::none));
            QVERIFY(call->wait());
            verifyText(*call, QStringLiteral("Hello there"));
            QCOMPARE(m_server->requestCount(), i);
        }
    }

    // --- Behind a proxy ---

    // With the system's settings in use (here https_proxy), a streamed
    // request goes through the proxy's CONNECT tunnel; a proxy that asks
    // for credentials or refuses is said plainly. The host name is made up:
    // requests to this machine's own addresses never take a proxy, and the
    // test proxy tunnels to 127.0.0.1 whatever it is asked for.
    void requestsFollowTheSystemProxy()
    {
        const TestCertificate certificate = TestCertificate::make(QStringLiteral("provider.test"));
        if (certificate.certificate.isEmpty())
            QSKIP("the openssl command could not make a certificate");
        QSslConfiguration serverTls = QSslConfiguration::defaultConfiguration();
        serverTls.setLocalCertificate(QSslCertificate(certificate.certificate));
        serverTls.setPrivateKey(QSslKey(certificate.key, QSsl::Ec));
        TestHttpServer server(serverTls, QStringLiteral("provider.test"));
        const QSslConfiguration systemTls = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusting = systemTls;
        trusting.setCaCertificates({QSslCertificate(certificate.certificate)});
        QSslConfiguration::setDefaultConfiguration(trusting);
        TestConnectProxy proxy;
        qputenv("https_proxy", proxy.url().toEncoded());
        NetworkProxies::useSystemSettings();
        const auto restore = qScopeGuard([&] {
            qunsetenv("https_proxy");
            QNetworkProxyFactory::setUseSystemConfiguration(false);
            QSslConfiguration::setDefaultConfiguration(systemTls);
        });
        const QUrl endpoint = server.url(QString::fromLatin1(chatPath));
        QCOMPARE(NetworkProxies::describeRoute(endpoint), proxy.url().toString());

        server.enqueue("POST", chatPath, Response::eventStream({chunk("Through"), chunk(" it")}));
        auto call = stream(options(AIRequestTimeoutRetryPolicy::none), endpoint);
        QVERIFY(call->wait());
        verifyText(*call, QStringLiteral("Through it"));
        QCOMPARE(proxy.targets(),
                 QList<QByteArray>{"provider.test:" + QByteArray::number(server.port())});

        for (const auto mode :
             {TestConnectProxy::Mode::askForCredentials, TestConnectProxy::Mode::refuse}) {
            proxy.setMode(mode);
            m_client->session()->clearConnectionCache();
            auto refused = stream(options(AIRequestTimeoutRetryPolicy::none), endpoint);
            QVERIFY(refused->wait());
            QCOMPARE(refused->reply->state(), AIReply::State::failed);
            const QString said = refused->reply->error()->userFacingMessage();
            QVERIFY2(said.contains(mode == TestConnectProxy::Mode::askForCredentials
                                       ? QStringLiteral("user name and password")
                                       : QStringLiteral("refused the connection")),
                     qPrintable(said));
        }
        QCOMPARE(server.requestCount(), 1);
    }

    // --- Secrets stay out of the log ---

    void urlQueryNeverReachesTheLog()
    {
        const qsizetype mark = TestSandbox::flushedLog().size();
        m_server->enqueue("POST", "/v1/models/a:generate",
                          brokenStream({chunk("x")}, Response::Ending::close));
        m_server->enqueue("POST", "/v1/models/b:generate", Response::body(404, ""));
        auto broken = stream(options(AIRequestTimeoutRetryPolicy::none),
                             QStringLiteral("/v1/models/a:generate?key=SECRET-KEY"));
        auto missing = whole(options(AIRequestTimeoutRetryPolicy::none),
                             QStringLiteral("/v1/models/b:generate?key=SECRET-KEY"));
        QVERIFY(broken->wait());
        QVERIFY(missing->wait());
        QCOMPARE(
            m_server->requestsTo("/v1/models/a:generate").first().queryItem(QStringLiteral("key")),
            QStringLiteral("SECRET-KEY"));
        const QString log = logSince(mark);
        QCOMPARE(log.count(QStringLiteral("[ERROR] LLM request failed for provider=test")), 2);
        QVERIFY2(!log.contains(QStringLiteral("SECRET")), qPrintable(log));
        QVERIFY(!broken->reply->error()->errorDescription().contains(QStringLiteral("SECRET")));
        QVERIFY(!missing->reply->error()->errorDescription().contains(QStringLiteral("SECRET")));
    }
};

QTEST_GUILESS_MAIN(TestAIClient)
#include "test_aiclient.moc"

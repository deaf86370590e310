#include "core/providers/OpenAIChatStreamChunk.h"
#include "core/providers/OpenAIResponsesStreamChunk.h"

#include <QTest>

namespace {

const QString notAChunk = QStringLiteral("The event is not a chat completion chunk.");
const QString unsupported = QStringLiteral("Unsupported content format.");

} // namespace

// The stream events of the OpenAI-compatible and responses formats, as the
// decoders read them: the members they know, every other member ignored,
// a member of the wrong type or a payload that is not JSON rejected.
class TestStreamChunks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chatChunk_data();
    void chatChunk();
    void responsesChunk_data();
    void responsesChunk();
    // The decoders read views into a larger buffer: nothing past the view
    // counts.
    void payloadIsOnlyTheView();
};

void TestStreamChunks::chatChunk_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<QString>("textOrError");

    QTest::addRow("text") << QByteArray(R"({"id":"x","object":"chat.completion.chunk",)"
                                        R"("choices":[{"index":0,"delta":{"content":"tok "}}]})")
                          << true << QStringLiteral("tok ");
    QTest::addRow("role event") << QByteArray(R"({"choices":[{"delta":{"role":"assistant"}}]})")
                                << true << QString();
    QTest::addRow("null content") << QByteArray(R"({"choices":[{"delta":{"content":null}}]})")
                                  << true << QString();
    QTest::addRow("parts") << QByteArray(
                                  R"({"choices":[{"delta":{"content":[)"
                                  R"({"type":"text","text":"a"},{"text":"b"},{"type":null}]}}]})")
                           << true << QStringLiteral("ab");
    QTest::addRow("choices in order")
        << QByteArray(R"({"choices":[{"delta":{"content":"a"}},{"delta":{"content":"b"}}]})")
        << true << QStringLiteral("ab");
    QTest::addRow("no choices") << QByteArray(R"({"choices":[]})") << true << QString();
    QTest::addRow("escapes")
        << QByteArray(R"({"choices":[{"delta":{"content":"\u00e9\n\ud83d\ude00\"q\""}}]})") << true
        << QStringLiteral("é\n😀\"q\"");
    QTest::addRow("escaped names")
        << QByteArray(R"({"ch\u006fices":[{"delta":{"cont\u0065nt":"esc"}}]})") << true
        << QStringLiteral("esc");
    QTest::addRow("unknown members")
        << QByteArray(R"({"choices":[{"delta":{"content":"a","x":[1]},"logprobs":null}],)"
                      R"("usage":{"x":[1,2.5e3,{"y":null}]},"z":true})")
        << true << QStringLiteral("a");
    QTest::addRow("blanks around") << QByteArray(R"(  {"choices":[{"delta":{"content":"sp"}}]}  )")
                                   << true << QStringLiteral("sp");

    QTest::addRow("content of another type")
        << QByteArray(R"({"choices":[{"delta":{"content":42}}]})") << false << unsupported;
    QTest::addRow("part not an object")
        << QByteArray(R"({"choices":[{"delta":{"content":["x"]}}]})") << false << unsupported;
    QTest::addRow("part text not a string")
        << QByteArray(R"({"choices":[{"delta":{"content":[{"text":5}]}}]})") << false
        << unsupported;
    QTest::addRow("choices absent") << QByteArray(R"({"choice":[]})") << false << notAChunk;
    QTest::addRow("choices null") << QByteArray(R"({"choices":null})") << false << notAChunk;
    QTest::addRow("choice not an object") << QByteArray(R"({"choices":[5]})") << false << notAChunk;
    QTest::addRow("delta absent") << QByteArray(R"({"choices":[{}]})") << false << notAChunk;
    QTest::addRow("delta not an object")
        << QByteArray(R"({"choices":[{"delta":[]}]})") << false << notAChunk;
    QTest::addRow("array") << QByteArray("[]") << false << notAChunk;
    QTest::addRow("empty") << QByteArray() << false << notAChunk;
    QTest::addRow("cut short") << QByteArray(R"({"choices":[{"delta":{"content":"a"}}])") << false
                               << notAChunk;
    QTest::addRow("trailing comma")
        << QByteArray(R"({"choices":[{"delta":{"content":"a"}}],})") << false << notAChunk;
    QTest::addRow("two documents")
        << QByteArray(R"({"choices":[{"delta":{"content":"a"}}]}{})") << false << notAChunk;
    QTest::addRow("bad literal in an unknown member")
        << QByteArray(R"({"choices":[{"delta":{"content":"a"}}],"x":tru})") << false << notAChunk;
    QTest::addRow("bad number in an unknown member")
        << QByteArray(R"({"choices":[{"delta":{"content":"a","n":01}}]})") << false << notAChunk;
    QTest::addRow("invalid UTF-8")
        << QByteArray("{\"choices\":[{\"delta\":{\"content\":\"\xff\"}}]}") << false << notAChunk;
}

void TestStreamChunks::chatChunk()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, decoded);
    QFETCH(QString, textOrError);
    QString error;
    const auto chunk = OpenAIChatStreamChunk::decode(payload, &error);
    QCOMPARE(chunk.has_value(), decoded);
    QCOMPARE(chunk ? chunk->text() : error, textOrError);
    QCOMPARE(OpenAIChatStreamChunk::decodeText(payload),
             chunk ? std::optional(chunk->text()) : std::nullopt);
}

void TestStreamChunks::responsesChunk_data()
{
    using Kind = OpenAIResponsesStreamChunk::Kind;
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");

    QTest::addRow("delta") << QByteArray(R"({"type":"response.output_text.delta","delta":"Hi"})")
                           << true << int(Kind::textDelta) << QStringLiteral("Hi");
    QTest::addRow("delta of another type")
        << QByteArray(R"({"type":"response.output_text.delta","delta":5})") << true
        << int(Kind::other) << QString();
    QTest::addRow("error") << QByteArray(R"({"type":"error","message":"bad"})") << true
                           << int(Kind::error) << QStringLiteral("bad");
    QTest::addRow("completed") << QByteArray(R"({"type":"response.completed"})") << true
                               << int(Kind::completed) << QString();
    QTest::addRow("incomplete") << QByteArray(R"({"type":"response.incomplete","x":"y"})") << true
                                << int(Kind::completed) << QString();
    QTest::addRow("completed with a record")
        << QByteArray(R"({"type":"response.completed","response":{"id":"r"}})") << true
        << int(Kind::other) << QString();
    QTest::addRow("later member wins")
        << QByteArray(R"({"type":"response.output_text.delta","delta":"a","type":"x"})") << true
        << int(Kind::other) << QString();
    QTest::addRow("array") << QByteArray("[1,{}]") << true << int(Kind::other) << QString();
    QTest::addRow("not JSON") << QByteArray("nope") << false << 0 << QString();
    QTest::addRow("cut short") << QByteArray("[1,") << false << 0 << QString();
    QTest::addRow("bad literal in an unknown member")
        << QByteArray(R"({"type":"response.output_text.delta","delta":"a","x":tru})") << false << 0
        << QString();
    QTest::addRow("trailing text")
        << QByteArray(R"({"type":"response.output_text.delta","delta":"a"} x)") << false << 0
        << QString();
}

void TestStreamChunks::responsesChunk()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, json);
    QFETCH(int, kind);
    QFETCH(QString, text);
    const auto chunk = OpenAIResponsesStreamChunk::decode(payload);
    QCOMPARE(chunk.has_value(), json);
    if (!chunk)
        return;
    QCOMPARE(int(chunk->kind), kind);
    QCOMPARE(chunk->text, text);
}

void TestStreamChunks::payloadIsOnlyTheView()
{
    const QByteArray event = R"({"choices":[{"delta":{"content":"a"}}]})";
    const QByteArray buffer = event + R"(, "more": tru)";
    QCOMPARE(OpenAIChatStreamChunk::decode(QByteArrayView(buffer).first(event.size()))->text(),
             QStringLiteral("a"));
    QVERIFY(!OpenAIChatStreamChunk::decode(QByteArrayView(buffer).first(event.size() - 1)));
}

QTEST_GUILESS_MAIN(TestStreamChunks)
#include "test_streamchunks.moc"

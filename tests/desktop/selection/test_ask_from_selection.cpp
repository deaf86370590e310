// `wrenlark ask --from-selection --replace` end to end: the real binary reads
// the selection of a real editor, sends it to a local OpenAI-compatible
// server and writes the reply over it; an interrupted reply writes nothing.
#include "DesktopSelectionFixture.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

QString configPath(const QString &name)
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Wrenlark/") + name;
}

QByteArray chunk(const QString &content)
{
    return TestHttpServer::sseData(QJsonObject{
        {QStringLiteral("choices"),
         QJsonArray{QJsonObject{
             {QStringLiteral("delta"), QJsonObject{{QStringLiteral("content"), content}}}}}}});
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class AskFromSelectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void replyReplacesTheSelectedWord();
    void interruptedReplyWritesNothing();
    void userClipboardOutlivesACommandThatPasted();

private:
    Run wrenlark(const QStringList &arguments, const QByteArray &input = {});
    std::unique_ptr<TestEditor> editorWithWorldSelected();

    TestHttpServer m_server;
};

void AskFromSelectionTest::initTestCase()
{
    if (const auto reason = DesktopTestSession::unavailableReason())
        QSKIP(qPrintable(*reason));
    QVERIFY(QFileInfo(qEnvironmentVariable("WRENLARK_BINARY")).isExecutable());
    QVERIFY(QDir().mkpath(QFileInfo(configPath(QStringLiteral("x"))).path()));
    QFile catalog(configPath(QStringLiteral("model-catalog.json")));
    QVERIFY(catalog.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QJsonObject openai{
        {QStringLiteral("id"), QStringLiteral("openai")},
        {QStringLiteral("endpoint"), m_server.url(QStringLiteral("/openai/v1/chat")).toString()},
        {QStringLiteral("models"),
         QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("model-1")}}}}};
    catalog.write(
        QJsonDocument(QJsonObject{{QStringLiteral("providers"), QJsonArray{openai}}}).toJson());
    catalog.close();
    const Run stored =
        wrenlark({QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("openai")},
                 "sk-selection-test\n");
    QVERIFY2(stored.exitCode == 0, stored.err.constData());
}

void AskFromSelectionTest::cleanupTestCase()
{
    if (!DesktopTestSession::unavailableReason())
        wrenlark({QStringLiteral("key"), QStringLiteral("delete"), QStringLiteral("openai")});
}

Run AskFromSelectionTest::wrenlark(const QStringList &arguments, const QByteArray &input)
{
    // The local server answers from this thread: keep the event loop turning.
    QProcess process;
    process.start(qEnvironmentVariable("WRENLARK_BINARY"), arguments);
    process.write(input);
    process.closeWriteChannel();
    QSignalSpy finished(&process, &QProcess::finished);
    if (!finished.wait(60000)) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

std::unique_ptr<TestEditor> AskFromSelectionTest::editorWithWorldSelected()
{
    QString error;
    auto editor =
        TestEditor::start(TestEditor::Kind::gtk, QStringLiteral("hello world foo"), &error);
    if (!editor) {
        qWarning("%s", qPrintable(error));
        return nullptr;
    }
    if (!editor->type({QStringLiteral("ctrl+Home"), QStringLiteral("Right"),
                       QStringLiteral("Right"), QStringLiteral("Right"), QStringLiteral("Right"),
                       QStringLiteral("Right"), QStringLiteral("Right"),
                       QStringLiteral("shift+ctrl+Right")}))
        return nullptr;
    return editor;
}

void AskFromSelectionTest::replyReplacesTheSelectedWord()
{
    auto editor = editorWithWorldSelected();
    QVERIFY(editor);
    m_server.enqueue("POST", "/openai/v1/chat",
                     TestHttpServer::Response::eventStream({chunk(QStringLiteral("pla")),
                                                            chunk(QStringLiteral("net ✓")),
                                                            TestHttpServer::sseData("[DONE]")}));

    const Run asked = wrenlark({QStringLiteral("ask"), QStringLiteral("--from-selection"),
                                QStringLiteral("--replace"), QStringLiteral("make"),
                                QStringLiteral("it bigger")});
    QVERIFY2(asked.exitCode == 0, asked.err.constData());
    QCOMPARE(asked.out, QStringLiteral("planet ✓\n").toUtf8());
    const QJsonArray messages =
        m_server.requests().last().jsonBody().value(QLatin1String("messages")).toArray();
    QVERIFY(messages.last()[QLatin1String("content")].toString().contains(QStringLiteral("world")));
    QCOMPARE(editor->documentText(), QStringLiteral("hello planet ✓ foo"));
}

void AskFromSelectionTest::interruptedReplyWritesNothing()
{
    auto editor = editorWithWorldSelected();
    QVERIFY(editor);
    // Part of a reply, then nothing more: the user gives up with Ctrl+C.
    m_server.enqueue("POST", "/openai/v1/chat",
                     TestHttpServer::Response::eventStream({chunk(QStringLiteral("half a"))})
                         .withEnding(TestHttpServer::Response::Ending::stall));
    QProcess process;
    QByteArray out;
    connect(&process, &QProcess::readyReadStandardOutput,
            [&] { out += process.readAllStandardOutput(); });
    process.start(qEnvironmentVariable("WRENLARK_BINARY"),
                  {QStringLiteral("ask"), QStringLiteral("--from-selection"),
                   QStringLiteral("--replace"), QStringLiteral("rewrite")});
    QTRY_VERIFY_WITH_TIMEOUT(out.contains("half a"), 30000);
    ::kill(pid_t(process.processId()), SIGINT);
    QSignalSpy finished(&process, &QProcess::finished);
    QVERIFY(process.state() == QProcess::NotRunning || finished.wait(30000));
    QCOMPARE(process.exitCode(), 130);
    QCOMPARE(editor->documentText(), QStringLiteral("hello world foo"));
}

void AskFromSelectionTest::userClipboardOutlivesACommandThatPasted()
{
    // The user's clipboard, owned by another application that then quits
    // once the command takes the clipboard over for its paste.
    QTemporaryDir folder;
    QFile html(folder.filePath(QStringLiteral("html")));
    QVERIFY(html.open(QIODevice::WriteOnly));
    html.write("<i>kept</i>");
    html.close();
    QString error;
    auto owner = DesktopApp::launch(QStringLiteral(WRENLARK_TEST_CLIPBOARD_OWNER),
                                    {QStringLiteral("text/html=") + html.fileName()}, {}, &error);
    QVERIFY2(owner, qPrintable(error));
    QCOMPARE(owner->readLine(), QStringLiteral("owning"));

    // No AT-SPI here: the selection comes from PRIMARY and the reply is pasted.
    auto editor = TestEditor::start(TestEditor::Kind::gtk, QStringLiteral("hello world foo"),
                                    &error, {QStringLiteral("NO_AT_BRIDGE=1")});
    QVERIFY2(editor, qPrintable(error));
    QVERIFY(editor->type({QStringLiteral("ctrl+Home"), QStringLiteral("shift+ctrl+Right")}));
    m_server.enqueue("POST", "/openai/v1/chat",
                     TestHttpServer::Response::eventStream(
                         {chunk(QStringLiteral("HELLO")), TestHttpServer::sseData("[DONE]")}));
    const Run asked = wrenlark({QStringLiteral("ask"), QStringLiteral("--from-selection"),
                                QStringLiteral("--replace"), QStringLiteral("shout")});
    QVERIFY2(asked.exitCode == 0, asked.err.constData());
    QCOMPARE(editor->documentText(), QStringLiteral("HELLO world foo"));

    // The command has ended; the clipboard is still the user's.
    QCOMPARE(ClipboardAsSeen::data(QStringLiteral("text/html")), QByteArray("<i>kept</i>"));
    // A new copy ends the process that kept it.
    DesktopTestSession::run(QStringLiteral("xclip"),
                            {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                             QStringLiteral("-l"), QStringLiteral("1")},
                            3000, QByteArray("next copy"));
}

int main(int argc, char *argv[])
{
    DesktopTestSession::preparePlatform();
    QApplication app(argc, argv);
    AskFromSelectionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_ask_from_selection.moc"

// The `wrenlark` command line, end to end: the real binary, under this test's
// sandbox, against a local OpenAI-compatible server and the private keyring
// of tests/support/desktop-session. Without that keyring only the cases that
// need no keys run, with the binary pointed at a bus that does not exist, so
// the developer's own keyring is never touched.

#include "core/support/AppMetadata.h"
#include "support/SecretServiceTestEnvironment.h"
#include "support/TestHttpServer.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

constexpr int processTimeoutMs = 30000;

// QSKIP returns from the function it is written in, so this is a macro.
#define REQUIRE_KEYRING()                                                                          \
    if (!m_hasKeyring)                                                                             \
    QSKIP("needs the private keyring of tests/support/desktop-session")

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QString error() const { return QString::fromUtf8(err); }
};

QString configPath(const QString &name)
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Wrenlark/") + name;
}

QString statePath(const QString &name)
{
    return qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/Wrenlark/") + name;
}

QByteArray readFile(const QString &path)
{
    return TestSandbox::readFile(path);
}

QByteArray chunk(const QString &content)
{
    return TestHttpServer::sseData(QJsonObject{
        {QStringLiteral("choices"),
         QJsonArray{QJsonObject{
             {QStringLiteral("delta"), QJsonObject{{QStringLiteral("content"), content}}}}}}});
}

QString messageContent(const TestHttpServer::RecordedRequest &request, const QString &role)
{
    for (const QJsonValue &message :
         request.jsonBody().value(QLatin1String("messages")).toArray()) {
        if (message[QLatin1String("role")].toString() == role)
            return message[QLatin1String("content")].toString();
    }
    return {};
}

// The line of `wrenlark providers` for one provider id.
QString providerLine(const QByteArray &listing, const QString &id)
{
    for (const QString &line : QString::fromUtf8(listing).split(u'\n')) {
        if (line.mid(2).startsWith(id + u' '))
            return line;
    }
    return {};
}

void removeKeys()
{
    for (const char *account : {"openai_api_key", "xai_api_key", "anthropic_api_key"}) {
        QProcess::execute(QStringLiteral("secret-tool"),
                          {QStringLiteral("clear"), QStringLiteral("service"),
                           QStringLiteral("com.wrenlark"), QStringLiteral("account"),
                           QString::fromLatin1(account)});
    }
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    bool m_hasKeyring = false;
    // Whether the binary gets a session bus that does not exist.
    bool m_withoutBus = false;
    // Whether the binary's environment names no display and no desktop.
    bool m_withoutDisplay = false;

    QProcessEnvironment environment() const
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        if (!m_hasKeyring || m_withoutBus) {
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                               QStringLiteral("unix:path=") +
                                   qEnvironmentVariable("WRENLARK_TEST_SANDBOX") +
                                   QStringLiteral("/no-such-bus"));
        }
        if (m_withoutDisplay) {
            for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP"})
                environment.remove(QLatin1String(variable));
        }
        return environment;
    }

    void start(QProcess &process, const QStringList &arguments, const QByteArray &input,
               const QString &program = qEnvironmentVariable("WRENLARK_BINARY"))
    {
        process.setProcessEnvironment(environment());
        process.start(program, arguments);
        QVERIFY(process.waitForStarted());
        process.write(input);
        process.closeWriteChannel();
    }

    // Runs the binary on a terminal of its own (made by script(1)); the input
    // of script stays open, so it is typed only when written.
    void startOnTerminal(QProcess &process, const QString &arguments, QByteArray *shown)
    {
        connect(&process, &QProcess::readyReadStandardOutput,
                [&process, shown] { *shown += process.readAllStandardOutput(); });
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral("script"),
                      {QStringLiteral("-qec"),
                       qEnvironmentVariable("WRENLARK_BINARY") + u' ' + arguments,
                       QStringLiteral("/dev/null")});
        QVERIFY(process.waitForStarted());
    }

    // Runs the binary to its end while this thread keeps serving HTTP.
    Run run(const QStringList &arguments, const QByteArray &input = {},
            const QString &program = qEnvironmentVariable("WRENLARK_BINARY"))
    {
        QProcess process;
        start(process, arguments, input, program);
        finish(process);
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    static void finish(QProcess &process)
    {
        if (process.state() != QProcess::NotRunning) {
            QSignalSpy finished(&process, &QProcess::finished);
            QVERIFY(finished.wait(processTimeoutMs));
        }
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    }

    void storeKey(const char *providerID, const QByteArray &key)
    {
        const Run stored = run(
            {QStringLiteral("key"), QStringLiteral("set"), QString::fromLatin1(providerID)}, key);
        QVERIFY2(stored.exitCode == 0, stored.err.constData());
    }

    // Every provider's endpoint on the local server, as a user catalog file.
    void writeCatalog()
    {
        QJsonArray providers;
        for (const char *id :
             {"openai-pro-plus", "openai", "anthropic", "google", "xai", "openrouter"}) {
            const QString name = QString::fromLatin1(id);
            providers.append(QJsonObject{
                {QStringLiteral("id"), name},
                {QStringLiteral("endpoint"),
                 m_server.url(QStringLiteral("/%1/v1/chat").arg(name)).toString()},
                {QStringLiteral("models"),
                 QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("model-1")}}}},
            });
        }
        QVERIFY(QDir().mkpath(QFileInfo(configPath(QStringLiteral("model-catalog.json"))).path()));
        QFile file(configPath(QStringLiteral("model-catalog.json")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("providers"), providers}}).toJson());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QFileInfo(qEnvironmentVariable("WRENLARK_BINARY")).isExecutable());
        m_hasKeyring = !SecretServiceTestEnvironment::unavailableReason().has_value();
        writeCatalog();
    }

    void init()
    {
        QFile::remove(configPath(QStringLiteral("Wrenlark.conf")));
        if (m_hasKeyring)
            removeKeys();
    }

    void cleanupTestCase()
    {
        if (m_hasKeyring)
            removeKeys();
    }

    void helpVersionAndUnusableArguments()
    {
        // `wrenlark` alone starts the desktop application; the help is asked for.
        const Run bare = run({QStringLiteral("--help")});
        QCOMPARE(bare.exitCode, 0);
        QVERIFY(bare.out.startsWith("Usage: wrenlark COMMAND"));
        for (const char *command : {"\n  ask ", "\n  key ", "\n  providers ", "\n  toggle "})
            QVERIFY2(bare.out.contains(command), command);
        QCOMPARE(run({QStringLiteral("help")}).out, bare.out);

        QCOMPARE(run({QStringLiteral("--version")}).out,
                 (QStringLiteral("wrenlark ") + AppMetadata::versionWithBuild() + u'\n').toUtf8());
        QVERIFY(run({QStringLiteral("help"), QStringLiteral("ask")}).out.contains("--provider ID"));
        QVERIFY(
            run({QStringLiteral("ask"), QStringLiteral("--help")}).out.contains("--model NAME"));

        const QList<QPair<QStringList, QString>> unusable{
            {{QStringLiteral("frobnicate")}, QStringLiteral("unknown command")},
            {{QStringLiteral("ask")}, QStringLiteral("give an instruction")},
            {{QStringLiteral("ask"), QStringLiteral("--temperature"), QStringLiteral("2"),
              QStringLiteral("hi")},
             QStringLiteral("unknown option --temperature")},
            {{QStringLiteral("ask"), QStringLiteral("--provider"), QStringLiteral("OpenAI"),
              QStringLiteral("hi")},
             QStringLiteral("unknown provider \"OpenAI\"")},
            {{QStringLiteral("key"), QStringLiteral("set")}, QStringLiteral("Usage: wrenlark key")},
            {{QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("openai-pro-plus")},
             QStringLiteral("wrenlark signin")},
        };
        for (const auto &[arguments, message] : unusable) {
            const Run result = run(arguments, "some text");
            QCOMPARE(result.exitCode, 2);
            QVERIFY2(result.error().contains(message), qPrintable(result.error()));
            QVERIFY(result.out.isEmpty());
        }
    }

    // A `wrenlark` that lost the parts it hands over to and loads (a broken
    // install) fails and says why, for the desktop's commands, the others and
    // keys alike; `doctor` without a display needs no desktop part.
    void withoutItsPartsTheCommandLineFails()
    {
        QTemporaryDir dir;
        const QString lone = dir.filePath(QStringLiteral("wrenlark"));
        QVERIFY(QFile::copy(qEnvironmentVariable("WRENLARK_BINARY"), lone));
        QCOMPARE(run({QStringLiteral("--version")}, {}, lone).exitCode, 0);

        const Run selection =
            run({QStringLiteral("ask"), QStringLiteral("--from-selection"), QStringLiteral("Fix")},
                {}, lone);
        QCOMPARE(selection.exitCode, 1);
        QVERIFY2(selection.error().contains("wrenlark-desktop"), qPrintable(selection.error()));

        const Run listed = run({QStringLiteral("providers")}, {}, lone);
        QCOMPARE(listed.exitCode, 1);
        QVERIFY2(listed.error().contains("wrenlark-commands.so"), qPrintable(listed.error()));
        const QString commands = QStringLiteral("/wrenlark-commands.so");
        QVERIFY(QFile::copy(QFileInfo(qEnvironmentVariable("WRENLARK_BINARY")).path() + commands,
                            dir.path() + commands));

        const Run stored =
            run({QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("openai")},
                "sk-test-1", lone);
        QCOMPARE(stored.exitCode, 1);
        QVERIFY(readFile(statePath(QStringLiteral("cli.log")))
                    .contains("The Secret Service client could not be loaded"));

        m_withoutDisplay = true;
        const auto restore = qScopeGuard([this] { m_withoutDisplay = false; });
        const Run doctor = run({QStringLiteral("doctor")}, {}, lone);
        QCOMPARE(doctor.exitCode, 1);
        QVERIFY2(doctor.out.contains("Display server: none") &&
                     doctor.out.contains("Secret Service (API keys): not answering"),
                 doctor.out.constData());
    }

    void withoutSecretServiceKeysAreMissingAndSavesFail()
    {
        m_withoutBus = true;
        const auto restore = qScopeGuard([this] { m_withoutBus = false; });
        QVERIFY(QDir().mkpath(statePath(QString())));
        QFile desktopLog(statePath(QStringLiteral("dev.log")));
        QVERIFY(desktopLog.open(QIODevice::WriteOnly | QIODevice::Truncate));
        desktopLog.write("the desktop application's log\n");
        desktopLog.close();

        const Run stored =
            run({QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("openai")},
                "sk-nowhere\n");
        QCOMPARE(stored.exitCode, 1);
        QVERIFY2(stored.error().contains(QStringLiteral("Could not store the API key for OpenAI")),
                 qPrintable(stored.error()));
        const QByteArray log = readFile(statePath(QStringLiteral("cli.log")));
        QVERIFY2(log.contains("[ERROR] Keychain update failed for service=com.wrenlark "
                              "account=openai_api_key: "),
                 log.constData());
        QVERIFY(!log.contains("sk-nowhere"));

        const Run asked = run({QStringLiteral("ask"), QStringLiteral("hello")});
        QCOMPARE(asked.exitCode, 1);
        QVERIFY(
            asked.error().startsWith(QStringLiteral("Configure any AI provider in Settings\n")));
        QVERIFY(asked.error().contains(QStringLiteral("wrenlark key set PROVIDER_ID")));
        QVERIFY(asked.error().contains(QStringLiteral("did not answer")));
        QCOMPARE(readFile(statePath(QStringLiteral("dev.log"))),
                 QByteArray("the desktop application's log\n"));
    }

    void keysAreSetListedAndDeleted()
    {
        REQUIRE_KEYRING();
        const Run nothing = run({QStringLiteral("ask"), QStringLiteral("hello")});
        QCOMPARE(nothing.exitCode, 1);
        QVERIFY(
            nothing.error().startsWith(QStringLiteral("Configure any AI provider in Settings\n")));

        const Run stored =
            run({QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("openai")},
                "  sk-test-1 \n");
        QCOMPARE(stored.exitCode, 0);
        QCOMPARE(stored.out, QByteArray("Stored the API key for OpenAI.\n"));
        QProcess lookup;
        lookup.start(QStringLiteral("secret-tool"),
                     {QStringLiteral("lookup"), QStringLiteral("service"),
                      QStringLiteral("com.wrenlark"), QStringLiteral("account"),
                      QStringLiteral("openai_api_key")});
        QVERIFY(lookup.waitForFinished());
        QCOMPARE(lookup.readAllStandardOutput(), QByteArray("sk-test-1"));

        const Run rejected = run(
            {QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("xai")}, "sk-one sk-two");
        QCOMPARE(rejected.exitCode, 2);

        const Run listed = run({QStringLiteral("providers")});
        QCOMPARE(listed.exitCode, 0);
        QVERIFY2(providerLine(listed.out, QStringLiteral("openai"))
                     .endsWith(QStringLiteral("  configured")),
                 listed.out.constData());
        QVERIFY(providerLine(listed.out, QStringLiteral("xai"))
                    .endsWith(QStringLiteral("not configured")));
        QVERIFY(providerLine(listed.out, QStringLiteral("openai-pro-plus")).startsWith(u'*'));
        QVERIFY(
            listed.out.contains("OpenAI Pro/Plus is not configured, so requests go to OpenAI."));

        // The key never lands in a file.
        QVERIFY(!readFile(configPath(QStringLiteral("Wrenlark.conf"))).contains("sk-test-1"));
        QVERIFY(!readFile(statePath(QStringLiteral("cli.log"))).contains("sk-test-1"));

        const Run deleted =
            run({QStringLiteral("key"), QStringLiteral("delete"), QStringLiteral("openai")});
        QCOMPARE(deleted.exitCode, 0);
        QVERIFY(providerLine(run({QStringLiteral("providers")}).out, QStringLiteral("openai"))
                    .endsWith(QStringLiteral("not configured")));

        // An empty key removes a stored one too.
        storeKey("xai", "sk-xai");
        QCOMPARE(run({QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("xai")}, "\n")
                     .exitCode,
                 0);
        QVERIFY(providerLine(run({QStringLiteral("providers")}).out, QStringLiteral("xai"))
                    .endsWith(QStringLiteral("not configured")));
    }

    void askStreamsTheReplyAsItArrives()
    {
        REQUIRE_KEYRING();
        storeKey("openai", "sk-test-1");
        const qsizetype before = m_server.requestCount();
        // The first piece, then a pause long enough to see it printed on its own.
        m_server.enqueue("POST", "/openai/v1/chat",
                         TestHttpServer::Response::eventStream(
                             {chunk(QStringLiteral("\n Hel")), chunk(QStringLiteral("lo, wörld")),
                              chunk(QStringLiteral("!\n")), TestHttpServer::sseData("[DONE]")},
                             1500));
        QProcess process;
        QByteArray out;
        connect(&process, &QProcess::readyReadStandardOutput,
                [&] { out += process.readAllStandardOutput(); });
        start(process,
              {QStringLiteral("ask"), QStringLiteral("make"), QStringLiteral("it shorter")},
              "Some selected text.\n");
        QTRY_VERIFY_WITH_TIMEOUT(out.contains("Hel"), processTimeoutMs);
        QCOMPARE(out, QByteArray("Hel"));
        QCOMPARE(process.state(), QProcess::Running);
        finish(process);
        out += process.readAllStandardOutput();

        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(out, QStringLiteral("Hello, wörld!\n").toUtf8());
        QVERIFY(process.readAllStandardError().isEmpty());

        QCOMPARE(m_server.requestCount(), before + 1);
        const auto &request = m_server.requests().last();
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer sk-test-1"));
        QCOMPARE(request.jsonBody().value(QLatin1String("model")).toString(),
                 QStringLiteral("gpt-5-mini"));
        QCOMPARE(messageContent(request, QStringLiteral("system")),
                 QStringLiteral("You edit text. Return only the replacement text, with no "
                                "commentary. Keep the language of the selected text unless the "
                                "instruction asks for another."));
        const QString user = messageContent(request, QStringLiteral("user"));
        QVERIFY2(user.contains(QStringLiteral("Some selected text.")) &&
                     user.contains(QStringLiteral("make it shorter")),
                 qPrintable(user));

        // Like a request from the command bar, the configured provider became current.
        QCOMPARE(QSettings(configPath(QStringLiteral("Wrenlark.conf")), QSettings::IniFormat)
                     .value(QStringLiteral("ai_provider_current"))
                     .toString(),
                 QStringLiteral("openai"));
    }

    // Blanks are printed only once text follows them, also when they arrive
    // in pieces of their own: the printed text is the reply's trimmed text.
    // (A reply language chosen in Settings reaches the prompt.)
    void askHoldsBlanksBackUntilTextFollows()
    {
        REQUIRE_KEYRING();
        storeKey("openai", "sk-test-1");
        QSettings(configPath(QStringLiteral("Wrenlark.conf")), QSettings::IniFormat)
            .setValue(QStringLiteral("reply_language"), QStringLiteral("German"));
        m_server.enqueue("POST", "/openai/v1/chat",
                         TestHttpServer::Response::eventStream(
                             {chunk(QStringLiteral(" \n")), chunk(QStringLiteral("a ")),
                              chunk(QStringLiteral("\t")), chunk(QStringLiteral(" b")),
                              chunk(QStringLiteral(" ")), chunk(QStringLiteral("\n\n")),
                              TestHttpServer::sseData("[DONE]")},
                             20));
        QProcess process;
        start(process, {QStringLiteral("ask"), QStringLiteral("go")}, QByteArray());
        finish(process);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardOutput(), QByteArray("a \t b\n"));
        QCOMPARE(messageContent(m_server.requests().last(), QStringLiteral("system")),
                 QStringLiteral("You are a helpful assistant. Reply in German."));
    }

    // What a server says reaches the terminal and the log inert, and never
    // with the key it may quote.
    void serverTextIsInertAndKeysAreRedacted()
    {
        REQUIRE_KEYRING();
        storeKey("openai", "sk-cli-secret-123");
        // Anthropic answers in one piece, so its error body is read.
        storeKey("anthropic", "sk-cli-secret-123");
        const QByteArray hostile = "\x1b]0;pwned\x07\x1b[2J\x1b[31mAll clear\x1b[0m";
        m_server.enqueue(
            "POST", "/anthropic/v1/chat",
            TestHttpServer::Response::json(
                401, QJsonObject{
                         {"error",
                          QJsonObject{{"message", QString::fromUtf8(
                                                      hostile + " Bad key sk-cli-secret-123 "
                                                                "(c2stY2xpLXNlY3JldC0xMjM=)")}}}}));
        const Run asked = run({QStringLiteral("ask"), QStringLiteral("--provider"),
                               QStringLiteral("anthropic"), QStringLiteral("hi")});
        QCOMPARE(asked.exitCode, 1);
        QVERIFY2(asked.err.contains("]0;pwned[2J[31mAll clear[0m Bad key [redacted] ([redacted])"),
                 asked.err.constData());
        const QByteArray log = readFile(statePath(QStringLiteral("cli.log")));
        QVERIFY2(log.contains("\\x1b]0;pwned\\x07"), log.constData());
        for (const QByteArray &output : {asked.err, log}) {
            QVERIFY(!output.contains('\x1b'));
            QVERIFY(!output.contains('\x07'));
            QVERIFY(!output.contains("sk-cli-secret-123"));
            QVERIFY(!output.contains("c2stY2xpLXNlY3JldC0xMjM"));
        }

        // The reply itself, printed to a terminal, cannot drive it either.
        m_server.enqueue("POST", "/openai/v1/chat",
                         TestHttpServer::Response::eventStream(
                             {chunk(QString::fromUtf8("Fine\x1b]0;pwned\x07 answer")),
                              TestHttpServer::sseData("[DONE]")}));
        QProcess asking;
        QByteArray shown;
        startOnTerminal(asking, QStringLiteral("ask --provider openai hi"), &shown);
        finish(asking);
        shown += asking.readAllStandardOutput();
        QVERIFY2(shown.contains("Fine]0;pwned answer"), shown.constData());
        QVERIFY(!shown.contains("\x1b]0;"));
    }

    // More than any provider accepts is refused before it is read whole or
    // sent.
    void oversizedInputIsRefused()
    {
        REQUIRE_KEYRING();
        storeKey("openai", "sk-test-1");
        const qsizetype before = m_server.requestCount();
        const Run asked = run({QStringLiteral("ask"), QStringLiteral("--provider"),
                               QStringLiteral("openai"), QStringLiteral("summarize")},
                              QByteArray(9 * 1024 * 1024, 'a'));
        QCOMPARE(asked.exitCode, 2);
        QVERIFY2(asked.error().contains(QStringLiteral("standard input holds more than 8 MiB")),
                 qPrintable(asked.error()));
        QCOMPARE(m_server.requestCount(), before);

        const Run key = run({QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("xai")},
                            QByteArray(100 * 1024, 'k'));
        QCOMPARE(key.exitCode, 2);
        QVERIFY2(key.error().contains(QStringLiteral("more than 64 KiB")), qPrintable(key.error()));
    }

    void shorthandsExpandAndOptionsApplyToOneRequest()
    {
        REQUIRE_KEYRING();
        storeKey("openai", "sk-test-1");
        const auto reply = [](const char *text) {
            return TestHttpServer::Response::eventStream(
                {chunk(QString::fromUtf8(text)), TestHttpServer::sseData("[DONE]")});
        };
        m_server.enqueue("POST", "/openai/v1/chat", reply("Hello"));
        m_server.enqueue("POST", "/openai/v1/chat", reply("Hi"));
        m_server.enqueue("POST", "/xai/v1/chat", reply("Yo"));
        const qsizetype before = m_server.requestCount();

        const Run expanded = run({QStringLiteral("ask"), QStringLiteral("ENG")});
        QCOMPARE(expanded.out, QByteArray("Hello\n"));
        const auto &first = m_server.requests().at(before);
        QCOMPARE(messageContent(first, QStringLiteral("user")),
                 QStringLiteral("translate to English"));
        QCOMPARE(messageContent(first, QStringLiteral("system")),
                 QStringLiteral("You are a helpful assistant."));

        const Run otherModel = run(
            {QStringLiteral("ask"), QStringLiteral("--model=gpt-5-nano"), QStringLiteral("gram")},
            "teh cat");
        QCOMPARE(otherModel.out, QByteArray("Hi\n"));
        const auto &second = m_server.requests().at(before + 1);
        QCOMPARE(second.jsonBody().value(QLatin1String("model")).toString(),
                 QStringLiteral("gpt-5-nano"));
        QVERIFY(
            messageContent(second, QStringLiteral("user")).contains(QStringLiteral("fix grammar")));

        const Run unconfigured = run({QStringLiteral("ask"), QStringLiteral("--provider"),
                                      QStringLiteral("xai"), QStringLiteral("hi")});
        QCOMPARE(unconfigured.exitCode, 1);
        QVERIFY(unconfigured.error().contains(
            QStringLiteral("xAI is not configured. Store its API key: wrenlark key set xai")));
        storeKey("xai", "xai-key");
        const Run otherProvider = run({QStringLiteral("ask"), QStringLiteral("--provider"),
                                       QStringLiteral("xai"), QStringLiteral("hi")});
        QCOMPARE(otherProvider.out, QByteArray("Yo\n"));
        QCOMPARE(m_server.requests().last().header("Authorization"), QByteArray("Bearer xai-key"));

        // Neither option was saved.
        QSettings settings(configPath(QStringLiteral("Wrenlark.conf")), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("ai_provider_current")).toString(),
                 QStringLiteral("openai"));
        QVERIFY(!settings.contains(QStringLiteral("openai_model")));
    }

    // A provider of the user's own: added by name and address (its models
    // read from the server), asked without a key, listed, and removed.
    void ownProvidersAreAddedAskedAndRemoved()
    {
        REQUIRE_KEYRING();
        m_server.setDefault("GET", "/gpu/v1/models",
                            TestHttpServer::Response::body(200, R"({"data":[{"id":"qwen"}]})"));
        m_server.enqueue("POST", "/gpu/v1/chat/completions",
                         TestHttpServer::Response::eventStream(
                             {chunk(QStringLiteral("Fixed")), TestHttpServer::sseData("[DONE]")}));
        const QString url = m_server.url(QStringLiteral("/gpu/v1")).toString();
        QCOMPARE(run({QStringLiteral("providers"), QStringLiteral("add"), QStringLiteral("OpenAI"),
                      QStringLiteral("--url"), url})
                     .exitCode,
                 2);
        const Run added = run({QStringLiteral("providers"), QStringLiteral("add"),
                               QStringLiteral("Home GPU"), QStringLiteral("--url"), url});
        QVERIFY2(added.exitCode == 0, added.err.constData());

        const Run asked = run({QStringLiteral("ask"), QStringLiteral("--provider"),
                               QStringLiteral("home-gpu"), QStringLiteral("fix")},
                              "teh");
        QVERIFY2(asked.exitCode == 0, asked.err.constData());
        QCOMPARE(asked.out, QByteArray("Fixed\n"));
        const auto &request = m_server.requests().last();
        QVERIFY(!request.hasHeader("Authorization"));
        QCOMPARE(request.jsonBody().value(QLatin1String("model")).toString(),
                 QStringLiteral("qwen"));
        const QByteArray listed = run({QStringLiteral("providers")}).out;
        QVERIFY2(listed.contains("home-gpu") && listed.contains("Home GPU"), listed.constData());

        QCOMPARE(
            run({QStringLiteral("providers"), QStringLiteral("remove"), QStringLiteral("home-gpu")})
                .exitCode,
            0);
        QVERIFY(!run({QStringLiteral("providers")}).out.contains("home-gpu"));
        // The other providers of the file are as they were.
        QVERIFY(run({QStringLiteral("providers")}).out.contains("openrouter"));
    }

    void failuresShowTheProvidersMessage()
    {
        REQUIRE_KEYRING();
        const auto unauthorized = [](const char *message) {
            return TestHttpServer::Response::json(
                401, QJsonObject{
                         {QStringLiteral("error"),
                          QJsonObject{{QStringLiteral("message"), QString::fromLatin1(message)}}}});
        };
        // Anthropic answers in one piece, so its error body is read for the message.
        storeKey("anthropic", "sk-ant-wrong");
        m_server.enqueue("POST", "/anthropic/v1/chat", unauthorized("invalid x-api-key"));
        const Run rejected = run({QStringLiteral("ask"), QStringLiteral("--provider"),
                                  QStringLiteral("anthropic"), QStringLiteral("hello")});
        QCOMPARE(rejected.exitCode, 1);
        QVERIFY(rejected.out.isEmpty());
        QCOMPARE(rejected.error(), QStringLiteral("invalid x-api-key\n"));
        QVERIFY(readFile(statePath(QStringLiteral("cli.log")))
                    .contains("[ERROR] Request failed. (Request failed (401): invalid x-api-key)"));

        // A streamed request fails at the status; whatever the message, it is one line
        // on standard error and nothing on standard output.
        storeKey("openai", "sk-wrong");
        m_server.enqueue("POST", "/openai/v1/chat", unauthorized("Incorrect API key provided."));
        const Run streamed = run({QStringLiteral("ask"), QStringLiteral("hello")});
        QCOMPARE(streamed.exitCode, 1);
        QVERIFY(streamed.out.isEmpty());
        QCOMPARE(streamed.err.count('\n'), 1);
        QVERIFY(readFile(statePath(QStringLiteral("cli.log")))
                    .contains("[ERROR] Request failed. (Request failed (401)"));

        // A stream broken after some text: what arrived is printed, and flagged.
        m_server.enqueue("POST", "/openai/v1/chat",
                         TestHttpServer::Response::eventStream(
                             {QByteArray(), chunk(QStringLiteral("Partial answer")),
                              ": still working\n\n", QByteArray()},
                             50)
                             .withEnding(TestHttpServer::Response::Ending::close));
        const Run interrupted = run({QStringLiteral("ask"), QStringLiteral("hello")});
        QCOMPARE(interrupted.out, QByteArray("Partial answer\n"));
        QVERIFY2(interrupted.error().contains(
                     QStringLiteral("Response interrupted; content may be incomplete.")),
                 qPrintable(interrupted.error() +
                            QString::fromUtf8(readFile(statePath(QStringLiteral("cli.log"))))));
        QCOMPARE(interrupted.exitCode, 1);
    }

    // On a terminal (made by script(1)) the key is typed unseen, `ask` does not wait
    // for input that is not coming, and the wait shows a spinner, erased before the reply.
    void onATerminal()
    {
        REQUIRE_KEYRING();
        if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
            QSKIP("script (util-linux) is not installed");
        QByteArray shown;
        QProcess keyEntry;
        startOnTerminal(keyEntry, QStringLiteral("key set openai"), &shown);
        QTRY_VERIFY_WITH_TIMEOUT(shown.contains("(not shown): "), processTimeoutMs);
        keyEntry.write("sk-typed-secret\r");
        finish(keyEntry);
        QCOMPARE(keyEntry.exitCode(), 0);
        QVERIFY2(shown.contains("Stored the API key for OpenAI."), shown.constData());
        QVERIFY(!shown.contains("sk-typed-secret"));

        m_server.enqueue(
            "POST", "/openai/v1/chat",
            TestHttpServer::Response::eventStream(
                {chunk(QStringLiteral("Terminal reply")), TestHttpServer::sseData("[DONE]")}));
        shown.clear();
        QProcess asking;
        startOnTerminal(asking, QStringLiteral("ask hello"), &shown);
        finish(asking);
        QCOMPARE(asking.exitCode(), 0);
        const qsizetype spinner = shown.indexOf("Waiting for OpenAI");
        const qsizetype erased = shown.indexOf("\r\x1b[K");
        const qsizetype reply = shown.indexOf("Terminal reply");
        QVERIFY2(spinner >= 0 && spinner < erased && erased < reply, shown.constData());
        QCOMPARE(
            m_server.requests().last().jsonBody().value(QLatin1String("messages")).toArray().size(),
            2);
        QCOMPARE(messageContent(m_server.requests().last(), QStringLiteral("system")),
                 QStringLiteral("You are a helpful assistant."));
    }

    void ctrlCCancelsTheRequest()
    {
        REQUIRE_KEYRING();
        storeKey("openai", "sk-test-1");
        m_server.enqueue("POST", "/openai/v1/chat", TestHttpServer::Response::silence());
        const qsizetype before = m_server.requestCount();
        const int closedBefore = m_server.clientClosedConnections();

        QProcess process;
        start(process, {QStringLiteral("ask"), QStringLiteral("hello")}, {});
        QVERIFY(m_server.waitForRequests(before + 1, processTimeoutMs));
        // The command line loads none of the desktop's libraries.
        const QByteArray maps = readFile(QStringLiteral("/proc/%1/maps").arg(process.processId()));
        QVERIFY(maps.contains("libQt6Core"));
        for (const char *library :
             {"libQt6Gui", "libQt6Widgets", "libX11", "libxcb", "libatspi", "libwayland"})
            QVERIFY2(!maps.contains(library), library);
        ::kill(pid_t(process.processId()), SIGINT);
        finish(process);

        QCOMPARE(process.exitCode(), 130);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(m_server.waitForClientClosedConnections(closedBefore + 1));
        QVERIFY(
            readFile(statePath(QStringLiteral("cli.log"))).contains("[INFO] Request canceled."));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_cli.moc"

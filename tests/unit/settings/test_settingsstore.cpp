// Plain settings and saved commands, in the settings file of this test's
// sandbox (no keys are read here; see tests/integration/settings).

#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "support/TestSandbox.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <array>

namespace {

AIProviderPointer provider(const char *id)
{
    return AIProviderRegistry::shared().provider(QString::fromLatin1(id));
}

// No keyring: only plain settings are read here.
SettingsStore plainSettings()
{
    return SettingsStore(nullptr);
}

QString settingsFile()
{
    return UserDefaults::standardFilePath();
}

// What another process would do: replace the file behind the stores' backs.
void writeSettingsFile(const QByteArray &contents)
{
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

QByteArray storedCommands()
{
    return QSettings(settingsFile(), QSettings::IniFormat)
        .value(SettingsKeys::userCommands.name)
        .toByteArray();
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QFile::remove(settingsFile()); }

    void unsetValuesReadAsTheirDefaultsAndWriteNothing()
    {
        SettingsStore store = plainSettings();
        QCOMPARE(store.currentProvider()->id(), QStringLiteral("openai-pro-plus"));
        QCOMPARE(store.model(*provider("xai")), QStringLiteral("grok-4-1-fast-non-reasoning"));
        QVERIFY(store.launchAtLoginEnabled());
        QVERIFY(!store.didCompleteOnboarding());
        QVERIFY(!QFile::exists(settingsFile()));
    }

    void instancesAndProcessesAgree()
    {
        SettingsStore first = plainSettings();
        SettingsStore second = plainSettings();
        first.setModel(QStringLiteral("  grok-4\n"), *provider("xai"));
        QCOMPARE(second.model(*provider("xai")), QStringLiteral("grok-4"));
        second.setModel(QStringLiteral(" \t"), *provider("xai"));
        QCOMPARE(first.model(*provider("xai")), QStringLiteral("grok-4-1-fast-non-reasoning"));

        second.setCurrentProvider(*provider("anthropic"));
        second.setLaunchAtLoginEnabled(false);
        QCOMPARE(first.currentProvider()->id(), QStringLiteral("anthropic"));
        QVERIFY(!first.launchAtLoginEnabled());

        // Another process rewrites the file: the next read sees it.
        writeSettingsFile("[General]\nai_provider_current=google\ngoogle_model=gemini-2.5-pro\n"
                          "did_complete_onboarding=true\n");
        QCOMPARE(first.currentProvider()->id(), QStringLiteral("google"));
        QCOMPARE(second.model(*provider("google")), QStringLiteral("gemini-2.5-pro"));
        QVERIFY(first.didCompleteOnboarding());
        QVERIFY(second.launchAtLoginEnabled()); // unset again: the registered default

        // An id the registry does not know (case included) falls back to the default.
        writeSettingsFile("[General]\nai_provider_current=OpenAI\n");
        QCOMPARE(first.currentProvider()->id(), QStringLiteral("openai-pro-plus"));
    }

    // Two processes overwrite a key of their own in turn, with values of one
    // length (the file keeps its size), each right after the other, well
    // within one tick of the file system's clock: neither loses a write of
    // the other.
    void racingWritersLoseNothing()
    {
        constexpr int rounds = 200;
        // In memory, where a write takes far less than a millisecond.
        QTemporaryDir folder(QStringLiteral("/dev/shm/wrenlark-test-XXXXXX"));
        QVERIFY(folder.isValid());
        const QString file = folder.filePath(QStringLiteral("Wrenlark.conf"));
        std::array<QProcess, 2> writers;
        const QStringList names{QStringLiteral("racer_a"), QStringLiteral("racer_b")};
        for (qsizetype i = 0; i < 2; ++i) {
            writers[i].setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writers[i].start(QCoreApplication::applicationFilePath(),
                             {QStringLiteral("--write"), file, names.at(i)});
        }
        for (int round = 0; round < rounds; ++round) {
            for (QProcess &writer : writers) {
                writer.write("\n");
                QVERIFY2(writer.waitForReadyRead(30000), "a writer found its value lost");
                writer.readLine();
            }
        }
        for (QProcess &writer : writers) {
            writer.closeWriteChannel();
            QVERIFY(writer.waitForFinished(30000));
            QCOMPARE(writer.exitCode(), 0);
        }
        const UserDefaults settings(file);
        for (const QString &name : names)
            QCOMPARE(settings.value(name).toInt(), rounds - 1);
    }

    void defaultCommandsAreWrittenOnFirstRead()
    {
        SettingsStore store = plainSettings();
        const QList<UserCommand> commands = store.loadCommands();
        QCOMPARE(commands.size(), 2);
        QCOMPARE(commands[0].command, QStringLiteral("eng"));
        QCOMPARE(commands[0].instruction, QStringLiteral("translate to English"));
        QCOMPARE(commands[1].command, QStringLiteral("gram"));
        QCOMPARE(commands[1].instruction, QStringLiteral("fix grammar"));
        QVERIFY(commands[0].id != commands[1].id);

        const QJsonArray stored = QJsonDocument::fromJson(storedCommands()).array();
        QCOMPARE(stored.size(), 2);
        const QJsonObject first = stored[0].toObject();
        QCOMPARE(first.value(QLatin1String("id")).toString(),
                 commands[0].id.toString(QUuid::WithoutBraces).toUpper());
        QCOMPARE(first.value(QLatin1String("command")).toString(), QStringLiteral("eng"));

        // Read back, not made afresh: the identifiers stay.
        QCOMPARE(plainSettings().loadCommands(), commands);
        QCOMPARE(store.resolveCommand(QStringLiteral(" Gram\n")), QStringLiteral("fix grammar"));
        QCOMPARE(store.resolveCommand(QStringLiteral("gram please")), std::nullopt);
    }

    void savedCommandsRoundTrip()
    {
        SettingsStore store = plainSettings();
        const QList<UserCommand> commands{
            {QUuid::createUuid(), QStringLiteral("Sum"), QStringLiteral("summarize ✓")},
            {QUuid::createUuid(), QStringLiteral(" pad "), QStringLiteral("never matches")},
            {QUuid::createUuid(), QStringLiteral("sum"), QStringLiteral("the later duplicate")},
        };
        store.saveCommands(commands);
        QCOMPARE(plainSettings().loadCommands(), commands);

        QCOMPARE(store.resolveCommand(QStringLiteral("  SUM\n")), QStringLiteral("summarize ✓"));
        QCOMPARE(store.resolveCommand(QStringLiteral("pad")), std::nullopt);
        QCOMPARE(store.resolveCommand(QStringLiteral("sum it up")), std::nullopt);
        QCOMPARE(store.resolveCommand(QStringLiteral("   ")), std::nullopt);

        // An empty list is a list, not a reason to bring the defaults back.
        store.saveCommands({});
        QCOMPARE(store.loadCommands(), QList<UserCommand>());
        QCOMPARE(store.resolveCommand(QStringLiteral("eng")), std::nullopt);
    }

    void unreadableCommandsAreReplacedButKept_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("not JSON") << QByteArray("[{\"id\":");
        QTest::newRow("an object") << QByteArray(R"({"command":"x"})");
        QTest::newRow("member missing")
            << QByteArray(R"([{"id":"2F1C6B8E-3C37-4B43-9A4A-1D5E2A8F0B11","command":"x"}])");
        QTest::newRow("not a UUID")
            << QByteArray(R"([{"id":"seven","command":"x","instruction":"y"}])");
        QTest::newRow("number for a string") << QByteArray(
            R"([{"id":"2F1C6B8E-3C37-4B43-9A4A-1D5E2A8F0B11","command":7,"instruction":"y"}])");
    }

    void unreadableCommandsAreReplacedButKept()
    {
        QFETCH(QByteArray, stored);
        QSettings(settingsFile(), QSettings::IniFormat)
            .setValue(SettingsKeys::userCommands.name, stored);

        SettingsStore store = plainSettings();
        QCOMPARE(store.resolveCommand(QStringLiteral("gram")), QStringLiteral("fix grammar"));
        QVERIFY(UserCommand::decodeList(storedCommands()).has_value());
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat)
                     .value(SettingsKeys::unreadableUserCommands.name)
                     .toByteArray(),
                 stored);
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[ERROR] Saved commands could not be read; the default commands "
                           "replace them.")));
    }

    // The names of the keys are the stored file's: one an earlier version
    // wrote reads the same.
    void aFileOfAnEarlierVersionReadsTheSame()
    {
        writeSettingsFile("[General]\n"
                          "ai_provider_current=anthropic\n"
                          "anthropic_model=claude-of-my-own\n"
                          "did_complete_onboarding=true\n"
                          "launch_at_login_enabled=false\n");
        SettingsStore store = plainSettings();
        QCOMPARE(store.currentProvider()->id(), QStringLiteral("anthropic"));
        QCOMPARE(store.model(*provider("anthropic")), QStringLiteral("claude-of-my-own"));
        QVERIFY(store.didCompleteOnboarding());
        QVERIFY(!store.launchAtLoginEnabled());
    }

    void commandsWrittenByHandAreRead()
    {
        // Lower-case identifiers and members the record does not declare are fine.
        QSettings(settingsFile(), QSettings::IniFormat)
            .setValue(SettingsKeys::userCommands.name,
                      QByteArray(R"([{"id":"2f1c6b8e-3c37-4b43-9a4a-1d5e2a8f0b11","command":"tl",)"
                                 R"("instruction":"translate to Latin","color":"red"}])"));
        SettingsStore store = plainSettings();
        QCOMPARE(store.resolveCommand(QStringLiteral("TL")), QStringLiteral("translate to Latin"));
        QCOMPARE(store.loadCommands().first().id,
                 QUuid(QStringLiteral("2F1C6B8E-3C37-4B43-9A4A-1D5E2A8F0B11")));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // One of the racing writers: `--write FILE NAME` sets NAME to 0, 1, 2 …
    // at each line on its input, first checking that its last value is
    // still there, and answers each with a line.
    if (argc == 4 && QByteArray(argv[1]) == "--write") {
        const QString name = QString::fromLatin1(argv[3]);
        UserDefaults settings(QString::fromLocal8Bit(argv[2]));
        QFile input;
        QFile output;
        if (!input.open(stdin, QIODevice::ReadOnly) || !output.open(stdout, QIODevice::WriteOnly))
            return 2;
        for (int i = 0; !input.readLine().isEmpty(); ++i) {
            if (i > 0 && settings.value(name).toInt() != i - 1) {
                qWarning("%s: the value %d was lost", argv[3], i - 1);
                return 1;
            }
            settings.setValue(name, QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0')));
            output.write("\n");
            output.flush();
        }
        return 0;
    }
    TestSettingsStore test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_settingsstore.moc"

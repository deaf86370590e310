// The command bar's instruction history, in this test's sandboxed state
// folder: what it keeps, how Up and Down walk it, and what it does with a
// file it cannot read.

#include "core/session/InstructionHistory.h"
#include "core/session/InstructionRecall.h"
#include "core/settings/SettingsKeys.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

QString historyFile()
{
    return InstructionHistory::standardFilePath();
}

QString asideFile()
{
    return historyFile() + QStringLiteral(".unreadable");
}

QStringList storedInstructions()
{
    const QJsonObject root = QJsonDocument::fromJson(TestSandbox::readFile(historyFile())).object();
    if (root.value(QStringLiteral("version")).toInt() != 1)
        return {QStringLiteral("<not a version 1 file>")};
    return root.value(QStringLiteral("instructions")).toVariant().toStringList();
}

void writeHistoryFile(const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(historyFile()).absolutePath());
    QFile file(historyFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

} // namespace

class TestInstructionHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        UserDefaults().remove(SettingsKeys::instructionHistoryEnabled.name);
        QFile::remove(historyFile());
        QDir(asideFile()).removeRecursively();
        QFile::remove(asideFile());
    }

    void keepsRecallsAndForgetsInstructions()
    {
        InstructionHistory history;
        QVERIFY(history.isEnabled());
        history.add(QStringLiteral("  Fix the grammar \n"));
        history.add(QStringLiteral("Fix the grammar"));
        history.add(QStringLiteral("Translate to French"));
        history.add(QStringLiteral(" \t"));
        history.add(QString(InstructionHistory::maximumInstructionLength + 1, u'x'));
        history.add(QStringLiteral("Make it shorter"));
        history.add(QStringLiteral("Fix the grammar"));
        const QStringList expected{QStringLiteral("Fix the grammar"),
                                   QStringLiteral("Make it shorter"),
                                   QStringLiteral("Translate to French")};
        QCOMPARE(history.entries(), expected);
        QCOMPARE(storedInstructions(), expected);
        QCOMPARE(QFile::permissions(historyFile()),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser);
        QCOMPARE(InstructionHistory().entries(), expected);

        // Up starts only from an empty input, stays at the oldest, and Down
        // comes back past the newest to an empty input.
        InstructionRecall recall(history);
        QCOMPARE(recall.older(QStringLiteral("typed")), std::nullopt);
        QCOMPARE(recall.newer(), std::nullopt);
        QCOMPARE(recall.older({}), expected.at(0));
        QCOMPARE(recall.older(expected.at(0)), expected.at(1));
        QCOMPARE(recall.older(expected.at(1)), expected.at(2));
        QCOMPARE(recall.older(expected.at(2)), expected.at(2));
        QCOMPARE(recall.newer(), expected.at(1));
        recall.reset(); // the user typed
        QCOMPARE(recall.older(QStringLiteral("Fix")), std::nullopt);
        QCOMPARE(recall.older({}), expected.at(0));
        QCOMPARE(recall.newer(), QString());
        QVERIFY(!recall.isWalking());

        for (int i = 0; i < InstructionHistory::maximumEntries + 5; ++i)
            history.add(QStringLiteral("Instruction %1").arg(i));
        const QStringList bounded = InstructionHistory().entries();
        QCOMPARE(bounded.size(), InstructionHistory::maximumEntries);
        QCOMPARE(bounded.first(),
                 QStringLiteral("Instruction %1").arg(InstructionHistory::maximumEntries + 4));

        // Switched off: nothing is kept or offered; what is stored stays.
        UserDefaults().setValue(SettingsKeys::instructionHistoryEnabled.name, false);
        history.add(QStringLiteral("Private instruction"));
        QCOMPARE(InstructionRecall(history).older({}), std::nullopt);
        QCOMPARE(storedInstructions(), bounded);

        history.clear();
        QVERIFY(history.entries().isEmpty());
        QVERIFY(!QFile::exists(historyFile()));
        QVERIFY(InstructionHistory().entries().isEmpty());
    }

    void anUnreadableFileIsKeptAside()
    {
        const QByteArray damaged = "{\"version\":1,\"instructions\":[\"Summarise";
        writeHistoryFile(damaged);
        InstructionHistory history;
        QVERIFY(history.entries().isEmpty());
        QCOMPARE(TestSandbox::readFile(asideFile()), damaged);
        QVERIFY(TestSandbox::flushedLog().contains(asideFile()));
        history.add(QStringLiteral("Summarise"));
        QCOMPARE(storedInstructions(), QStringList{QStringLiteral("Summarise")});

        // Nowhere to move it: it is left as it is and nothing is recorded.
        QFile::remove(asideFile());
        QVERIFY(QDir().mkpath(asideFile() + QStringLiteral("/occupied")));
        writeHistoryFile("not json");
        InstructionHistory blocked;
        blocked.add(QStringLiteral("Summarise"));
        QCOMPARE(TestSandbox::readFile(historyFile()), QByteArray("not json"));

        // Damaged entries cost only themselves.
        writeHistoryFile(R"({"version":1,"instructions":["Shorter",7,"  ","Shorter","Longer"]})");
        QCOMPARE(InstructionHistory().entries(),
                 (QStringList{QStringLiteral("Shorter"), QStringLiteral("Longer")}));
    }
};

QTEST_GUILESS_MAIN(TestInstructionHistory)
#include "test_instructionhistory.moc"

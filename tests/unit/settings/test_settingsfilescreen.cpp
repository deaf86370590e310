// A settings file written by someone else must not be able to crash or
// exhaust the program: values QSettings would decode through QDataStream are
// set aside before it reads the file, and everything else is kept.

#include "core/settings/UserDefaults.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A one-element variant list nested `depth` times, in QSettings' escaped
// form: per level the type (QVariantList), the null flag and the count.
QByteArray nestedVariantList(int depth)
{
    QByteArray value = "@Variant(";
    for (int i = 0; i < depth; ++i)
        value += "\\0\\0\\0\\t\\0\\0\\0\\0\\x1";
    value += "\\0\\0\\0\\t\\0\\0\\0\\0\\0)";
    return value;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

class TestSettingsFileScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unsafeValuesAreSetAsideAndTheRestKept_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("nested 40000 deep") << nestedVariantList(40000);
        // A list that claims two thousand million elements.
        QTest::newRow("huge count") << QByteArray("@Variant(\\0\\0\\0\\t\\0\\x7f\\xff\\xff\\xff)");
        QTest::newRow("quoted") << QByteArray("\"@Variant(\\0\\0\\0\\t\\0\\x7f\\xff\\xff\\xff)\"");
        QTest::newRow("second list element")
            << QByteArray("a, @Variant(\\0\\0\\0\\t\\0\\x7f\\xff\\xff\\xff)");
        QTest::newRow("escaped at sign") << QByteArray("\\x40Variant(\\0\\0\\0\\t\\0\\x7f\\xff)");
        QTest::newRow("octal escapes") << QByteArray("\\100Var\\151ant(\\0\\0\\0\\t\\0\\x7f\\xff)");
        QTest::newRow("date time") << QByteArray("@DateTime(\\0\\0\\0\\x1)");
        QTest::newRow("continued on the next line")
            << QByteArray("@Var\\\niant(\\0\\0\\0\\t\\0\\x7f\\xff\\xff\\xff)");
        QTest::newRow("beyond the length limit")
            << QByteArray(SettingsFileScreen::maximumValueBytes + 1, 'a');
    }

    void unsafeValuesAreSetAsideAndTheRestKept()
    {
        QFETCH(QByteArray, value);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Wrenlark.conf"));
        QVERIFY(writeFile(path, "[General]\ncurrent_provider=anthropic\nbroken=" + value +
                                    "\nuser_commands=\"@ByteArray([{\\\"a\\\": 1}, 2])\"\n"
                                    "did_complete_onboarding=true\n"));
        const qsizetype mark = TestSandbox::flushedLog().size();

        const UserDefaults defaults(path);
        QCOMPARE(defaults.string(QStringLiteral("current_provider")), QStringLiteral("anthropic"));
        QVERIFY(defaults.boolValue(QStringLiteral("did_complete_onboarding")));
        QCOMPARE(defaults.data(QStringLiteral("user_commands")), QByteArray("[{\"a\": 1}, 2]"));
        QVERIFY(!defaults.contains(QStringLiteral("broken")));

        const QByteArray aside = TestSandbox::readFile(path + QStringLiteral(".set-aside"));
        QVERIFY(aside.startsWith("broken="));
        QCOMPARE(QFile(path + QStringLiteral(".set-aside")).permissions() &
                     (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());
        const QString log = TestSandbox::flushedLog().mid(mark);
        QVERIFY2(log.contains(QStringLiteral("[ERROR] The settings file ") + path),
                 qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("The other settings are kept.")), qPrintable(log));
    }

    // What this program writes itself passes untouched, also when it names
    // the streamed types inside a text.
    void ownValuesPassUntouched()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Wrenlark.conf"));
        {
            UserDefaults defaults(path);
            defaults.setValue(QStringLiteral("text"), QStringLiteral("@Variant(\x01) and, \"x\""));
            defaults.setValue(QStringLiteral("bytes"), QByteArray("@Variant(\0\1, @DateTime(", 24));
            defaults.setValue(QStringLiteral("flag"), false);
        }
        const QByteArray written = TestSandbox::readFile(path);
        const UserDefaults again(path);
        QCOMPARE(again.string(QStringLiteral("text")), QStringLiteral("@Variant(\x01) and, \"x\""));
        QCOMPARE(again.data(QStringLiteral("bytes")), QByteArray("@Variant(\0\1, @DateTime(", 24));
        QCOMPARE(again.value(QStringLiteral("flag")).toBool(), false);
        QCOMPARE(TestSandbox::readFile(path), written);
        QVERIFY(!QFile::exists(path + QStringLiteral(".set-aside")));
    }

    // Another process may write a bad value while this one runs.
    void fileChangedLaterIsScreenedAgain()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Wrenlark.conf"));
        UserDefaults defaults(path);
        defaults.setValue(QStringLiteral("kept"), QStringLiteral("yes"));
        QVERIFY(writeFile(path, "[General]\nkept=yes\nlater=" + nestedVariantList(40000) + '\n'));
        QCOMPARE(defaults.string(QStringLiteral("kept")), QStringLiteral("yes"));
        QVERIFY(!defaults.contains(QStringLiteral("later")));
    }

    void oversizedFileIsMovedAsideWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Wrenlark.conf"));
        QByteArray contents = "[General]\n";
        while (contents.size() <= SettingsFileScreen::maximumFileBytes)
            contents += "k" + QByteArray::number(contents.size()) + "=v\n";
        QVERIFY(writeFile(path, contents));
        const UserDefaults defaults(path);
        QVERIFY(!defaults.contains(QStringLiteral("k10")));
        QVERIFY(QFile::exists(path + QStringLiteral(".too-large")));
        QVERIFY(TestSandbox::flushedLog().contains(QStringLiteral("is larger than 8 MiB")));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFileScreen)
#include "test_settingsfilescreen.moc"

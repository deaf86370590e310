#include "core/support/FileLogger.h"
#include "core/support/Logging.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <thread>

class TestFileLogger : public QObject
{
    Q_OBJECT

private:
    static QStringList linesOf(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void startsEmptyWithOwnerOnlyPermissions()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dev.log"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("previous run\n");
        }
        FileLogger logger(path);
        logger.flush();
        QCOMPARE(QFile(path).size(), 0);
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
    }

    void writesFormattedLinesInCallOrder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dev.log"));
        FileLogger logger(path);
        logger.write(QStringLiteral("INFO"), QStringLiteral("Request submitted."));
        logger.error(QStringLiteral("two\nlines"));
        logger.flush();
        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), 3);
        static const QRegularExpression format(
            QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ \[INFO\] Request submitted\.$)"));
        QVERIFY2(format.match(lines[0]).hasMatch(), qPrintable(lines[0]));
        QVERIFY(lines[1].endsWith(QStringLiteral("[ERROR] two")));
        QCOMPARE(lines[2], QStringLiteral("lines"));
    }

    void recreatesDeletedFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dev.log"));
        FileLogger logger(path);
        logger.info(QStringLiteral("first"));
        logger.flush();
        QVERIFY(QFile::remove(path));
        logger.info(QStringLiteral("second"));
        logger.flush();
        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith(QStringLiteral("second")));
    }

    void concurrentWritersNeverMixLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dev.log"));
        FileLogger logger(path);
        const QString a(500, u'a');
        const QString b(500, u'b');
        auto writer = [&logger](const QString &text) {
            for (int i = 0; i < 200; ++i)
                logger.info(text);
        };
        std::thread first(writer, a);
        std::thread second(writer, b);
        first.join();
        second.join();
        logger.flush();
        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), 400);
        for (const QString &line : lines)
            QVERIFY(line.endsWith(a) || line.endsWith(b));
    }

    void sinkWritesOnlyTheApplicationsCategories()
    {
        // In front of Qt Test's handler, which gets Qt's own messages; twice,
        // and the sink must not become its own successor.
        FileLogger::installMessageSink();
        FileLogger::installMessageSink();
        const QString path = FileLogger::shared().logFilePath();
        FileLogger::shared().flush();
        const qsizetype before = linesOf(path).size();
        qCInfo(lcApp).noquote() << QStringLiteral("kept \"as is\" ");
        qCWarning(lcAi).noquote() << QStringLiteral("refused");
        const QLoggingCategory other("qt.wrenlark.other");
        QTest::ignoreMessage(QtWarningMsg, "not for the log");
        qCWarning(other) << "not for the log";
        FileLogger::shared().flush();
        const QStringList lines = linesOf(path).mid(before);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].endsWith(QStringLiteral("Z [INFO] kept \"as is\" ")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].endsWith(QStringLiteral("Z [ERROR] refused")), qPrintable(lines[1]));
    }

    void sharedLoggerUsesStateHome()
    {
        const QString expected =
            qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/Wrenlark/dev.log");
        QCOMPARE(FileLogger::shared().logFilePath(), expected);
    }
};

QTEST_GUILESS_MAIN(TestFileLogger)
#include "test_filelogger.moc"

// The word difference between a selection and a reply.

#include "core/session/WordDiff.h"

#include <QTest>

using WordDiff::Segment;
using Kind = Segment::Kind;

namespace {

// One side of the comparison put back together: the equal segments and
// those of `changed`.
QString side(const QList<Segment> &segments, Kind changed)
{
    QString text;
    for (const Segment &segment : segments) {
        if (segment.kind == Kind::Equal || segment.kind == changed)
            text += segment.text;
    }
    return text;
}

// "[=same][-old][+new]"
QString notation(const QList<Segment> &segments)
{
    QString text;
    for (const Segment &segment : segments) {
        const char mark = segment.kind == Kind::Equal     ? '='
                          : segment.kind == Kind::Deleted ? '-'
                                                          : '+';
        text += u'[' + QChar::fromLatin1(mark) + segment.text + u']';
    }
    return text;
}

// `words` words, every `step`th of them replaced by `replacement`.
QString prose(int words, int step, const QString &replacement)
{
    QStringList list;
    for (int i = 0; i < words; ++i)
        list.append(i % step == 0 ? replacement : QStringLiteral("word%1").arg(i % 97));
    return list.join(u' ') + u'.';
}

} // namespace

class TestWordDiff : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void segmentsGiveBackBothSides_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        const QString proofread = QStringLiteral("Their going to the libary tomorow, arent they?");
        QTest::newRow("identical") << proofread << proofread;
        QTest::newRow("insertion") << QStringLiteral("a cat") << QStringLiteral("a black cat");
        QTest::newRow("deletion") << QStringLiteral("a very big cat") << QStringLiteral("a cat");
        QTest::newRow("proofread")
            << proofread << QStringLiteral("They're going to the library tomorrow, aren't they?");
        QTest::newRow("spacing and punctuation") << QStringLiteral("One.  Two\tthree\n\nfour")
                                                 << QStringLiteral("One! Two three\nfour.");
        QTest::newRow("empty before") << QString() << QStringLiteral("New text.");
        QTest::newRow("empty after") << QStringLiteral("Old text.") << QString();
        QTest::newRow("both empty") << QString() << QString();
        QTest::newRow("unicode") << QStringLiteral("Ça va très bien 😀 日本語のテキスト")
                                 << QStringLiteral("Ça va très mal 😀👍 日本語の文章");
        QTest::newRow("rewritten") << QStringLiteral("the quick brown fox jumps")
                                   << QStringLiteral("a slow red dog sleeps");
        QTest::newRow("long, scattered changes")
            << prose(4000, 37, QStringLiteral("old")) << prose(4000, 41, QStringLiteral("new"));
        QTest::newRow("too long to search")
            << prose(12000, 37, QStringLiteral("old")) << prose(12000, 41, QStringLiteral("new"));
    }

    void segmentsGiveBackBothSides()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const QList<Segment> segments = WordDiff::compare(before, after);
        QCOMPARE(side(segments, Kind::Deleted), before);
        QCOMPARE(side(segments, Kind::Inserted), after);
        for (qsizetype i = 0; i < segments.size(); ++i) {
            QVERIFY(!segments.at(i).text.isEmpty());
            if (i > 0) {
                QVERIFY(segments.at(i).kind != segments.at(i - 1).kind);
                QVERIFY(segments.at(i - 1).kind != Kind::Inserted ||
                        segments.at(i).kind != Kind::Deleted);
            }
        }
    }

    void changesAreWholeWords_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("segments");
        QTest::newRow("proofread")
            << QStringLiteral("I has a apple and teh pear.")
            << QStringLiteral("I have an apple and the pear.")
            << QStringLiteral("[=I ][-has a][+have an][= apple and ][-teh][+the][= pear.]");
        QTest::newRow("punctuation")
            << QStringLiteral("Hello world") << QStringLiteral("Hello, world!")
            << QStringLiteral("[=Hello][+,][= world][+!]");
        QTest::newRow("insertion") << QStringLiteral("the cat") << QStringLiteral("the black cat")
                                   << QStringLiteral("[=the ][+black ][=cat]");
        QTest::newRow("rewritten")
            << QStringLiteral("the quick brown fox") << QStringLiteral("a slow red dog")
            << QStringLiteral("[-the quick brown fox][+a slow red dog]");
    }

    void changesAreWholeWords()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, segments);
        QCOMPARE(notation(WordDiff::compare(before, after)), segments);
    }

    void summarySaysEachChange()
    {
        const auto segments = WordDiff::compare(QStringLiteral("I has a apple and teh pear."),
                                                QStringLiteral("I have an apple, and the pear."));
        QCOMPARE(WordDiff::spokenSummary(segments),
                 QStringLiteral("I [deleted: has a, inserted: have an] apple [inserted: ,] and "
                                "[deleted: teh, inserted: the] pear."));
    }
};

QTEST_GUILESS_MAIN(TestWordDiff)
#include "test_worddiff.moc"

#include "ui/panel/ResponseMarkdown.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

QFont bodyFont()
{
    QFont font;
    font.setPixelSize(14);
    return font;
}

struct Rendered
{
    std::unique_ptr<QTextDocument> document = std::make_unique<QTextDocument>();
    QString plain() const
    {
        QString text = document->toPlainText();
        text.replace(QChar(0x00A0), u' ');
        return text;
    }
    QTextCharFormat formatAt(const QString &needle, int occurrence = 0) const
    {
        qsizetype at = -1;
        for (int i = 0; i <= occurrence; ++i)
            at = plain().indexOf(needle, at + 1);
        if (at < 0)
            return {};
        QTextCursor cursor(document.get());
        cursor.setPosition(int(at + 1));
        return cursor.charFormat();
    }
    bool hasImages() const
    {
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                if (it.fragment().charFormat().isImageFormat())
                    return true;
            }
        }
        return false;
    }
};

Rendered render(const QString &text)
{
    Rendered rendered;
    rendered.document->setDefaultFont(bodyFont());
    renderMarkdown(text, rendered.document.get());
    return rendered;
}

int pixelSize(const QTextCharFormat &format)
{
    return format.intProperty(QTextFormat::FontPixelSize);
}

} // namespace

class TestResponseMarkdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headingLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("rawText");
        QTest::newRow("level 1") << "# Title" << 1 << "Title";
        QTest::newRow("level 6, tab") << "######\tSmall" << 6 << "Small";
        QTest::newRow("spaces skipped") << "##    Spaced  out" << 2 << "Spaced  out";
        QTest::newRow("empty heading") << "# " << 1 << "";
        QTest::newRow("seven marks") << "####### Seven" << 0 << "";
        QTest::newRow("no space") << "#Tag" << 0 << "";
        QTest::newRow("marks only") << "###" << 0 << "";
        QTest::newRow("leading space") << " # Not" << 0 << "";
        QTest::newRow("empty line") << "" << 0 << "";
    }

    void headingLines()
    {
        QFETCH(QString, line);
        QFETCH(int, level);
        QFETCH(QString, rawText);
        const auto heading = parseHeadingLine(line);
        if (level == 0) {
            QVERIFY(!heading);
            return;
        }
        QVERIFY(heading);
        QCOMPARE(heading->level, level);
        QCOMPARE(heading->rawText, rawText);
    }

    void headingMarkersAreStrippedLineByLine()
    {
        const auto stripped = ResponseMarkdown::removingHeadingMarkers(
            QStringLiteral("# One\n\ntext\n## Two\n#no\n# "));
        QCOMPARE(stripped.text, QStringLiteral("One\n\ntext\nTwo\n#no\n"));
        QCOMPARE(stripped.headings.size(), 3);
        QCOMPARE(stripped.headings[1], (HeadingSegment{2, QStringLiteral("Two")}));
    }

    void textWithoutMarkupIsShownVerbatim()
    {
        const QString text = QStringLiteral("  Two  spaces, <b>tags</b>\n\n- a list\n1. one");
        const auto rendered = render(text);
        QCOMPARE(rendered.document->toPlainText(), text);
    }

    void inlineStylingKeepsLinesAndSpaces()
    {
        const auto rendered =
            render(QStringLiteral("A **bold**  and `code`\n\n    indented *it*\n- not a list\n"
                                  "1. not ordered\n> not quoted\n---"));
        QCOMPARE(rendered.plain(), QStringLiteral("A bold  and code\n \n    indented it\n"
                                                  "- not a list\n1. not ordered\n> not quoted\n"
                                                  "---"));
        QVERIFY(rendered.formatAt(QStringLiteral("bold")).fontWeight() >= QFont::Bold);
        QVERIFY(rendered.formatAt(QStringLiteral("code")).fontFixedPitch() ||
                rendered.formatAt(QStringLiteral("code")).fontFamilies().isValid());
        QVERIFY(rendered.formatAt(QStringLiteral("it")).fontItalic());
    }

    void headingsAreStyledByLevelInOrder()
    {
        const auto rendered = render(
            QStringLiteral("Same\n# Same\ntext\n### Same\n####### Seven\n#Tag\n# \n## *Styled* x"));
        // The first "Same" is body text; the headings are found in order.
        QCOMPARE(pixelSize(rendered.formatAt(QStringLiteral("Same"), 0)), 0);
        QCOMPARE(pixelSize(rendered.formatAt(QStringLiteral("Same"), 1)), qRound(14 * 1.56));
        QCOMPARE(pixelSize(rendered.formatAt(QStringLiteral("Same"), 2)), qRound(14 * 1.28));
        QCOMPARE(rendered.formatAt(QStringLiteral("Same"), 1).fontWeight(), int(QFont::DemiBold));
        QVERIFY(rendered.plain().contains(QStringLiteral("####### Seven\n#Tag\n \n")));
        const QTextCharFormat styled = rendered.formatAt(QStringLiteral("Styled"));
        QCOMPARE(pixelSize(styled), qRound(14 * 1.4));
        QVERIFY(styled.fontItalic());
    }

    void untrustedMarkupStaysInert()
    {
        const auto rendered =
            render(QStringLiteral("<script>alert(1)</script> *x* ![logo](file:///etc/passwd) "
                                  "[site](https://example.com)"));
        QVERIFY(rendered.plain().contains(QStringLiteral("<script>alert(1)</script>")));
        QVERIFY(!rendered.hasImages());
        QVERIFY(rendered.plain().contains(QStringLiteral("logo")));
        QVERIFY(rendered.plain().contains(QStringLiteral("site")));
    }

    void fencedCodeKeepsItsLines()
    {
        const auto rendered =
            render(QStringLiteral("Run:\n```sh\n  ls -l   *.txt\n# not a heading\n```\nDone *ok*"));
        QVERIFY(rendered.plain().contains(QStringLiteral("  ls -l   *.txt\n")));
        QVERIFY(rendered.plain().contains(QStringLiteral("# not a heading")));
        QVERIFY(rendered.formatAt(QStringLiteral("ok")).fontItalic());
    }

    void anyReplyRendersQuickly_data()
    {
        QTest::addColumn<QString>("text");
        QString megabyte;
        while (megabyte.size() < 1'000'000)
            megabyte += QStringLiteral("# Heading\nSome *text* with `code` and **more**.\n\n");
        QTest::newRow("1 MB") << megabyte;
        QTest::newRow("one long line") << QString(100'000, u'x') + QStringLiteral(" *a*");
        QTest::newRow("unbalanced") << QStringLiteral("**open `tick _under ```\n# [x](");
        QTest::newRow("control characters")
            << QStringLiteral("a\0b\x01\x1b[31m*red*\x7f\r\n# h\r\n").replace(u'\0', QChar(0));
        QTest::newRow("rtl and emoji") << QStringLiteral(
            "# שלום עולם\n*مرحبا* 👩‍👩‍👧 `🙂` \u202e reversed");
        QTest::newRow("unclosed fence") << QStringLiteral("```\ncode\n\n# still code");
    }

    void anyReplyRendersQuickly()
    {
        QFETCH(QString, text);
        const auto rendered = render(text);
        QVERIFY(!rendered.document->isEmpty());
        // Every character of the reply's own text reaches the view.
        QVERIFY(rendered.document->characterCount() > 0);
    }
};

QTEST_MAIN(TestResponseMarkdown)
#include "test_response_markdown.moc"

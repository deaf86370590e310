#include "ui/panel/IncrementalResponseRenderer.h"
#include "ui/panel/ResponseMarkdown.h"
#include "ui/panel/ResponseTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

constexpr int viewWidth = 608;

QFont bodyFont()
{
    QFont font;
    font.setPixelSize(14);
    return font;
}

void prepare(QTextDocument *document)
{
    document->setDefaultFont(bodyFont());
    document->setDocumentMargin(0);
    document->setUndoRedoEnabled(false);
}

QString describeFormat(const QTextFormat &format)
{
    QString text;
    const auto properties = format.properties();
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        if (it.key() == IncrementalResponseRenderer::continuesParagraphProperty)
            continue;
        text += QStringLiteral("%1=%2;").arg(it.key()).arg(it.value().toString());
    }
    return text;
}

// Every block with its format, and every run of text with its format.
QString describe(const QTextDocument &document)
{
    QString text;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        text += QStringLiteral("block{%1}\n").arg(describeFormat(block.blockFormat()));
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            text += QStringLiteral("  [%1] %2\n")
                        .arg(it.fragment().text(), describeFormat(it.fragment().charFormat()));
        }
    }
    return text;
}

QString wholeRendering(const QString &text)
{
    QTextDocument document;
    prepare(&document);
    renderMarkdown(text, &document);
    return describe(document);
}

QImage drawn(QTextDocument *document)
{
    document->setTextWidth(viewWidth);
    const QSizeF size = document->documentLayout()->documentSize();
    QImage image(QSize(viewWidth, int(std::ceil(size.height()))), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    document->drawContents(&painter);
    return image;
}

QString longParagraph(int words)
{
    QString text;
    for (int i = 0; i < words; ++i)
        text += QStringLiteral("w%1 ").arg(i % 1000) +
                (i % 37 == 0 ? QStringLiteral("an ") : QString());
    return text;
}

// Opens up the view's copy for the test.
class CopyingView : public ResponseTextView
{
public:
    using ResponseTextView::createMimeDataFromSelection;
};

} // namespace

class TestIncrementalResponseRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void streamedMarkdownRendersAsTheWhole_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("paragraphs") << QStringLiteral(
            "First **bold** and *it*.\n\nSecond `code` and [link](https://example.com).\n\n"
            "Third ![img](http://x/y.png) <b>html</b> &amp; done.\n");
        QTest::newRow("headings") << QStringLiteral(
            "# Title\n\nText *a*\n\n## Same\nSame\n\n### Deep *em*\n\n####### not\n");
        QTest::newRow("fences") << QStringLiteral(
            "Run:\n\n```sh\nls *.txt\n\n# comment\n```\nafter *x*\n\n~~~\n`tilde`\n~~~\n\nend");
        QTest::newRow("emphasis across a blank line")
            << QStringLiteral("Start *open\n\nmiddle text\n\nclosed* here\n\nand on\n\n");
        QTest::newRow("code span across a blank line")
            << QStringLiteral("a `span\n\nstill` b\n\nc **d\n\ne** f\n\n");
        QTest::newRow("link across a blank line")
            << QStringLiteral("see [the\n\nlink](https://example.com) now\n\nlater\n\n");
        QTest::newRow("lone marks") << QStringLiteral(
            "2 * 3 = 6 and snake_case_name\n\n_lead and trail_\n\n* list\n\n*\n\n__\n\nok\n");
        QTest::newRow("unclosed fence") << QStringLiteral("text *a*\n\n```\ncode\n\nmore\n");
        QTest::newRow("crlf and indents") << QStringLiteral(
            "line *one*\r\n\r\n    indented `x`\r\n\t\ttabs\r\n\r\n> quote\r\n1. item\r\n");
        QTest::newRow("rtl and emoji") << QStringLiteral(
            "# שלום\n\n*مرحبا* 👩‍👩‍👧 `🙂`\n\n\u202e reversed *r*\n\n");
        QTest::newRow("no markup until late")
            << QStringLiteral("plain words\n\nmore plain\n\nthen *markup* arrives\n\n# and a head");
    }

    void streamedMarkdownRendersAsTheWhole()
    {
        QFETCH(QString, text);
        for (const int step : {1, 3, 7, 40}) {
            IncrementalResponseRenderer renderer;
            QTextDocument document;
            prepare(&document);
            for (qsizetype end = step;; end += step) {
                const QString shown = text.left(std::min(end, text.size()));
                renderer.render(shown, &document);
                const QString expected = wholeRendering(shown);
                if (describe(document) != expected) {
                    qWarning("differs at %lld characters, step %d:\n%s\nexpected:\n%s",
                             static_cast<long long>(shown.size()), step,
                             qPrintable(describe(document)), qPrintable(expected));
                    QFAIL("the streamed rendering differs");
                }
                if (end >= text.size())
                    break;
            }
        }
    }

    // Replies made of random Markdown pieces, streamed in random steps.
    void randomRepliesRenderAsTheWhole()
    {
        const QStringList pieces{
            QStringLiteral("word "), QStringLiteral("*"),       QStringLiteral("**"),
            QStringLiteral("_"),     QStringLiteral("`"),       QStringLiteral("```\n"),
            QStringLiteral("\n"),    QStringLiteral("\n\n"),    QStringLiteral("# "),
            QStringLiteral("## h"),  QStringLiteral("["),       QStringLiteral("](u) "),
            QStringLiteral("\\"),    QStringLiteral(" * "),     QStringLiteral("a_b "),
            QStringLiteral("~~~\n"), QStringLiteral("    "),    QStringLiteral("1. "),
            QStringLiteral("> "),    QStringLiteral("![i](x)"), QStringLiteral("<b>"),
            QStringLiteral("&amp;"), QStringLiteral("\r\n"),    QStringLiteral("שלום ")};
        QRandomGenerator random(20261207);
        for (int reply = 0; reply < 150; ++reply) {
            QString text;
            const int count = 5 + random.bounded(60);
            for (int i = 0; i < count; ++i)
                text += pieces.at(random.bounded(pieces.size()));
            IncrementalResponseRenderer renderer;
            QTextDocument document;
            prepare(&document);
            for (qsizetype end = 0; end < text.size();) {
                end = std::min(text.size(), end + 1 + random.bounded(12));
                const QString shown = text.left(end);
                renderer.render(shown, &document);
                if (describe(document) != wholeRendering(shown)) {
                    qWarning("reply %d differs at %lld characters: %s\n%s\nexpected:\n%s", reply,
                             static_cast<long long>(end),
                             qPrintable(QString::fromLatin1(shown.toUtf8().toPercentEncoding(" "))),
                             qPrintable(describe(document)), qPrintable(wholeRendering(shown)));
                    QFAIL("the streamed rendering differs");
                }
            }
        }
    }

    void workStaysWithTheNewestParagraphs()
    {
        QString text;
        for (int section = 0; text.size() < 20000; ++section) {
            text += QStringLiteral("## Section %1\n\nThe **main** point is *this*, with `code`.\n\n"
                                   "```cpp\nint value = %1;\n```\n\n")
                        .arg(section);
        }
        IncrementalResponseRenderer renderer;
        QTextDocument document;
        prepare(&document);
        for (qsizetype end = 10; end < text.size(); end += 10) {
            renderer.render(text.left(end), &document);
            // Only the latest paragraph or two stay open to change.
            QVERIFY2(end - renderer.finalSourceLength() < 200,
                     qPrintable(QString::number(end - renderer.finalSourceLength())));
        }

        // An emphasis left open keeps everything after it open, but not
        // what came before it.
        IncrementalResponseRenderer open;
        QTextDocument openDocument;
        prepare(&openDocument);
        const QString withOpenMark = QStringLiteral("intro\n\nnext\n\nan *open mark\n\n") + text;
        for (qsizetype end = 100; end < withOpenMark.size(); end += 100)
            open.render(withOpenMark.left(end), &openDocument);
        QCOMPARE(open.finalSourceLength(), qsizetype(13));
    }

    void aTextThatStartsAnewIsRenderedAnew()
    {
        IncrementalResponseRenderer renderer;
        QTextDocument document;
        prepare(&document);
        QVERIFY(!renderer.render(QStringLiteral("First *reply*\n\nends here"), &document));
        QVERIFY(renderer.render(QStringLiteral("First *reply*\n\nends here."), &document));
        QVERIFY(!renderer.render(QStringLiteral("Second"), &document));
        QCOMPARE(describe(document), wholeRendering(QStringLiteral("Second")));
        QVERIFY(!renderer.render(QString(), &document));
        QVERIFY(document.isEmpty());
    }

    void aLongParagraphIsCutWhereItsLinesBreak()
    {
        const QString text = longParagraph(6000);
        QTextDocument whole;
        prepare(&whole);
        whole.setPlainText(text);

        IncrementalResponseRenderer renderer;
        QTextDocument streamed;
        prepare(&streamed);
        streamed.setTextWidth(viewWidth);
        QRandomGenerator random(7);
        for (qsizetype end = 0; end < text.size();) {
            end = std::min(text.size(), end + 1 + random.bounded(300));
            renderer.render(text.left(end), &streamed);
            streamed.documentLayout()->documentSize();
            QVERIFY(streamed.lastBlock().length() <=
                    IncrementalResponseRenderer::longParagraphLength + 400);
        }
        QVERIFY(streamed.blockCount() > 10);
        QCOMPARE(drawn(&streamed), drawn(&whole));

        // Copying the whole view gives the paragraph back as one.
        CopyingView view;
        view.setDocument(&streamed);
        view.selectAll();
        const std::unique_ptr<QMimeData> copied(view.createMimeDataFromSelection());
        QCOMPARE(copied->text(), text);
        view.setDocument(nullptr);
    }

    void rightToLeftParagraphsAreNotCut()
    {
        QString text;
        while (text.size() < 6000)
            text += QStringLiteral("שלום עולם hello ");
        IncrementalResponseRenderer renderer;
        QTextDocument document;
        prepare(&document);
        document.setTextWidth(viewWidth);
        for (qsizetype end = 500; end < text.size() + 500; end += 500)
            renderer.render(text.left(end), &document);
        QCOMPARE(document.blockCount(), 1);
        QCOMPARE(document.toPlainText(), text);
    }
};

QTEST_MAIN(TestIncrementalResponseRenderer)
#include "test_incremental_response_renderer.moc"

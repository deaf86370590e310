// Reading a selection through AT-SPI from real editors (GTK 3 and Qt 6) and
// writing the reply back in place, with text whose units differ between
// the toolkits.
#include "DesktopSelectionFixture.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "support/TestSandbox.h"

#include <QApplication>
#include <QTest>

using namespace SelectionTestSteps;
using Kind = TestEditor::Kind;

Q_DECLARE_METATYPE(TestEditor::Kind)

class SelectionAccessibilityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void selectedWordIsReadWithItsRangeAndReplacedInPlace_data();
    void selectedWordIsReadWithItsRangeAndReplacedInPlace();
    void doubleClickedWordIsReplaced();
    void accentsEmojiAndCjkKeepTheirPlaces_data();
    void accentsEmojiAndCjkKeepTheirPlaces();
    void caretWithoutSelectionInsertsAtTheCaret_data();
    void caretWithoutSelectionInsertsAtTheCaret();
    void documentChangedSinceReadingIsNotOverwritten();

private:
    std::unique_ptr<TestEditor> startEditor(Kind kind, const QString &text);
    SelectionResult read(const TestEditor &editor);
    void addEditorRows();

    std::unique_ptr<LinuxDesktopConnections> m_desktop;
    DesktopServices m_services;
};

void SelectionAccessibilityTest::initTestCase()
{
    if (const auto reason = DesktopTestSession::unavailableReason())
        QSKIP(qPrintable(*reason));
    m_desktop = std::make_unique<LinuxDesktopConnections>();
    m_services = createLinuxDesktopServices(*m_desktop);
    if (!m_services.trust->isTrusted())
        QSKIP("the accessibility bus of the private desktop is not enabled");
}

std::unique_ptr<TestEditor> SelectionAccessibilityTest::startEditor(Kind kind, const QString &text)
{
    QString error;
    auto editor = TestEditor::start(kind, text, &error);
    if (!editor)
        qWarning("%s", qPrintable(error));
    return editor;
}

SelectionResult SelectionAccessibilityTest::read(const TestEditor &editor)
{
    SelectionRequest request;
    request.targetPid = editor.pid();
    request.traceID = QStringLiteral("TEST");
    return fetch(*m_services.selection, request);
}

void SelectionAccessibilityTest::addEditorRows()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("GTK (mousepad)") << Kind::gtk;
    QTest::newRow("Qt 6 editor") << Kind::qt;
}

void SelectionAccessibilityTest::selectedWordIsReadWithItsRangeAndReplacedInPlace_data()
{
    addEditorRows();
}

void SelectionAccessibilityTest::selectedWordIsReadWithItsRangeAndReplacedInPlace()
{
    QFETCH(Kind, kind);
    auto editor = startEditor(kind, QStringLiteral("hello world foo"));
    QVERIFY(editor);
    QVERIFY(
        editor->type({QStringLiteral("ctrl+Home"), QStringLiteral("Right"), QStringLiteral("Right"),
                      QStringLiteral("Right"), QStringLiteral("Right"), QStringLiteral("Right"),
                      QStringLiteral("Right"), QStringLiteral("shift+Right"),
                      QStringLiteral("shift+Right"), QStringLiteral("shift+Right"),
                      QStringLiteral("shift+Right"), QStringLiteral("shift+Right")}));

    const SelectionResult result = read(*editor);
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, QStringLiteral("world"));
    QVERIFY(result.context->selectedRange);
    QCOMPARE(*result.context->selectedRange, (SelectionRange{6, 5}));
    QCOMPARE(result.context->pid, editor->pid());
    QVERIFY(result.context->element);

    QCOMPARE(replace(*m_services.replacement, *result.context, QStringLiteral("there")),
             ReplacementOperation::State::succeeded);
    QCOMPARE(editor->documentText(), QStringLiteral("hello there foo"));
    QVERIFY(TestSandbox::flushedLog().contains(
        QStringLiteral("Replacement: AX value range update succeeded.")));
}

void SelectionAccessibilityTest::doubleClickedWordIsReplaced()
{
    auto editor = startEditor(Kind::qt, QStringLiteral("alpha beta gamma"));
    QVERIFY(editor);
    QVERIFY(editor->app().activate());
    const QStringList located = editor->app().ask(QStringLiteral("locate beta")).split(u' ');
    QCOMPARE(located.size(), 3);
    QVERIFY(DesktopTestSession::xdotool({QStringLiteral("mousemove"), located[1], located[2],
                                         QStringLiteral("click"), QStringLiteral("--repeat"),
                                         QStringLiteral("2"), QStringLiteral("1")}));
    DesktopTestSession::settle(200);

    const SelectionResult result = read(*editor);
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, QStringLiteral("beta"));
    QCOMPARE(*result.context->selectedRange, (SelectionRange{6, 4}));
    QCOMPARE(replace(*m_services.replacement, *result.context, QStringLiteral("BETA")),
             ReplacementOperation::State::succeeded);
    QCOMPARE(editor->documentText(), QStringLiteral("alpha BETA gamma"));
}

void SelectionAccessibilityTest::accentsEmojiAndCjkKeepTheirPlaces_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<SelectionRange>("range");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");

    // "Grüße 👋 aus Köln 東京": GTK counts the emoji as one character, Qt as two
    // UTF-16 units, so every offset after it differs by one.
    const QString text = QStringLiteral("Grüße 👋 aus Köln 東京");
    const QStringList toEmoji{QStringLiteral("ctrl+Home"), QStringLiteral("Right"),
                              QStringLiteral("Right"),     QStringLiteral("Right"),
                              QStringLiteral("Right"),     QStringLiteral("Right"),
                              QStringLiteral("Right"),     QStringLiteral("shift+Right")};
    const QStringList lastWords{QStringLiteral("ctrl+End"),   QStringLiteral("shift+Left"),
                                QStringLiteral("shift+Left"), QStringLiteral("shift+Left"),
                                QStringLiteral("shift+Left"), QStringLiteral("shift+Left"),
                                QStringLiteral("shift+Left"), QStringLiteral("shift+Left")};
    QTest::newRow("GTK: the emoji")
        << Kind::gtk << toEmoji << QStringLiteral("👋") << SelectionRange{6, 1}
        << QStringLiteral("🙂🎉") << QStringLiteral("Grüße 🙂🎉 aus Köln 東京");
    QTest::newRow("Qt: the emoji")
        << Kind::qt << toEmoji << QStringLiteral("👋") << SelectionRange{6, 2}
        << QStringLiteral("🙂🎉") << QStringLiteral("Grüße 🙂🎉 aus Köln 東京");
    QTest::newRow("GTK: after the emoji")
        << Kind::gtk << lastWords << QStringLiteral("Köln 東京") << SelectionRange{12, 7}
        << QStringLiteral("Zürich 大阪") << QStringLiteral("Grüße 👋 aus Zürich 大阪");
    QTest::newRow("Qt: after the emoji")
        << Kind::qt << lastWords << QStringLiteral("Köln 東京") << SelectionRange{13, 7}
        << QStringLiteral("Zürich 大阪") << QStringLiteral("Grüße 👋 aus Zürich 大阪");
}

void SelectionAccessibilityTest::accentsEmojiAndCjkKeepTheirPlaces()
{
    QFETCH(Kind, kind);
    QFETCH(QStringList, keys);
    QFETCH(QString, selected);
    QFETCH(SelectionRange, range);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);

    auto editor = startEditor(kind, QStringLiteral("Grüße 👋 aus Köln 東京"));
    QVERIFY(editor);
    QVERIFY(editor->type(keys));
    const SelectionResult result = read(*editor);
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, selected);
    QCOMPARE(*result.context->selectedRange, range);
    QCOMPARE(replace(*m_services.replacement, *result.context, replacement),
             ReplacementOperation::State::succeeded);
    QCOMPARE(editor->documentText(), expected);
}

void SelectionAccessibilityTest::caretWithoutSelectionInsertsAtTheCaret_data()
{
    addEditorRows();
}

void SelectionAccessibilityTest::caretWithoutSelectionInsertsAtTheCaret()
{
    QFETCH(Kind, kind);
    auto editor = startEditor(kind, QStringLiteral("hello world"));
    QVERIFY(editor);
    QVERIFY(editor->type({QStringLiteral("ctrl+Home"), QStringLiteral("Right"),
                          QStringLiteral("Right"), QStringLiteral("Right"), QStringLiteral("Right"),
                          QStringLiteral("Right"), QStringLiteral("Right")}));
    const SelectionResult result = read(*editor);
    QVERIFY(result.context);
    QVERIFY(result.context->isInsertionPoint());
    QCOMPARE(*result.context->selectedRange, (SelectionRange{6, 0}));
    QCOMPARE(replace(*m_services.replacement, *result.context, QStringLiteral("wide ")),
             ReplacementOperation::State::succeeded);
    QCOMPARE(editor->documentText(), QStringLiteral("hello wide world"));
}

void SelectionAccessibilityTest::documentChangedSinceReadingIsNotOverwritten()
{
    // The selection was read, then the user typed before the reply came: the
    // old range now covers other text. The reply goes to the current
    // selection instead (here none, so it is pasted at the caret).
    auto editor = startEditor(Kind::gtk, QStringLiteral("one two three"));
    QVERIFY(editor);
    QVERIFY(editor->type({QStringLiteral("ctrl+Home"), QStringLiteral("shift+Right"),
                          QStringLiteral("shift+Right"), QStringLiteral("shift+Right")}));
    const SelectionResult result = read(*editor);
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, QStringLiteral("one"));
    QVERIFY(editor->type({QStringLiteral("ctrl+End"), QStringLiteral("ctrl+Home"),
                          QStringLiteral("x"), QStringLiteral("y")}));

    QCOMPARE(replace(*m_services.replacement, *result.context, QStringLiteral("1")),
             ReplacementOperation::State::succeeded);
    QVERIFY(waitForClipboardIdle());
    QCOMPARE(editor->documentText(), QStringLiteral("xy1one two three"));
}

int main(int argc, char *argv[])
{
    DesktopTestSession::preparePlatform();
    prepareLinuxDesktopProcess();
    QApplication app(argc, argv);
    SelectionAccessibilityTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_selection_accessibility.moc"

// The clipboard-neutral PRIMARY read and the clipboard probe against a GTK
// editor that exposes nothing to AT-SPI (NO_AT_BRIDGE=1), and the paste
// fallback: whatever the user had on the clipboard comes back byte-exact,
// and a copy the user makes meanwhile is never overwritten.
#include "DesktopSelectionFixture.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/clipboard/ClipboardAccess.h"
#include "platform/linux/keys/KeySynthesizer.h"
#include "platform/linux/keys/XTestKeySynthesizer.h"
#include "platform/linux/replacement/LinuxReplacementService.h"
#include "platform/linux/selection/LinuxSelectionService.h"
#include "support/TestSandbox.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace SelectionTestSteps;
using Kind = TestEditor::Kind;

namespace {

const QStringList noAccessibility{QStringLiteral("NO_AT_BRIDGE=1")};

QByteArray pngBytes()
{
    QImage image(4, 3, QImage::Format_ARGB32);
    image.fill(QColor(10, 200, 30, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class ClipboardProbeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void primarySelectionOfTheTargetIsReadWithoutTouchingTheClipboard();
    void primarySelectionOfAnotherApplicationIsNotTaken();
    void probeReadsTheSelectionAndRestoresEveryFormat();
    void probeLeavesAnEmptyClipboardEmpty();
    void copyMadeByTheUserDuringTheProbeIsKept();
    void cancelledProbeStillRestoresTheClipboard();
    void cancelledProbeOutwaitsALateCopy();
    void pasteRestoresTheClipboardOnlyAfterTheTargetFetchedTheText();
    void pasteIntoATargetThatNeverFetchesRestoresAfterTheBoundedWait();
    void probeThatCannotTypeTheCopyKeySaysWhy();
    void probeNeverTypesIntoAnotherWindowInFront();
    void pasteThatCannotBeTypedLeavesTheReplyOnTheClipboard();
    void pasteIsNeverTypedIntoAnotherWindowInFront();

private:
    // Another application owns the clipboard with these formats; it quits
    // when something else takes the clipboard over.
    std::unique_ptr<DesktopApp> ownClipboard(const QList<std::pair<QString, QByteArray>> &formats,
                                             bool wait = false);
    std::unique_ptr<TestEditor> editorWithSelection(const QString &text, const QStringList &keys);
    SelectionRequest probeRequest(qint32 pid) const;
    void useStrategies(bool primary);
    DesktopServices servicesTypingWith(std::shared_ptr<KeySynthesizer> keys);

    QTemporaryDir m_files;
    std::unique_ptr<LinuxDesktopConnections> m_desktop;
    DesktopServices m_services;
    const QList<std::pair<QString, QByteArray>> m_userClipboard{
        {QStringLiteral("text/plain"), QByteArrayLiteral("the user's text")},
        {QStringLiteral("text/html"), QByteArrayLiteral("<b>the user's</b> text")},
        {QStringLiteral("image/png"), pngBytes()},
        {QStringLiteral("application/x-wrenlark-test"), QByteArray("\x00\x01\xfe\xff raw", 8)}};
};

void ClipboardProbeTest::initTestCase()
{
    if (const auto reason = DesktopTestSession::unavailableReason())
        QSKIP(qPrintable(*reason));
    m_desktop = std::make_unique<LinuxDesktopConnections>();
    m_services = createLinuxDesktopServices(*m_desktop);
}

void ClipboardProbeTest::cleanup()
{
    QVERIFY(waitForClipboardIdle());
    useStrategies(true);
}

// The desktop's services with their selection and replacement typing with
// `keys`, and without the PRIMARY strategy.
DesktopServices ClipboardProbeTest::servicesTypingWith(std::shared_ptr<KeySynthesizer> keys)
{
    DesktopServices services = m_services;
    auto selection = std::make_shared<LinuxSelectionService>(
        *m_desktop, m_services.applications, m_services.classifier, m_services.trust, keys);
    selection->setStrategies({true, false});
    services.selection = std::move(selection);
    services.replacement = std::make_shared<LinuxReplacementService>(
        *m_desktop, m_services.applications, m_services.classifier, std::move(keys));
    return services;
}

void ClipboardProbeTest::useStrategies(bool primary)
{
    auto *service = dynamic_cast<LinuxSelectionService *>(m_services.selection.get());
    service->setStrategies({true, primary});
}

std::unique_ptr<DesktopApp>
ClipboardProbeTest::ownClipboard(const QList<std::pair<QString, QByteArray>> &formats, bool wait)
{
    QStringList arguments;
    if (wait)
        arguments << QStringLiteral("--wait");
    for (const auto &[type, bytes] : formats) {
        const QString path = m_files.filePath(QString::number(qHash(type)));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return nullptr;
        file.write(bytes);
        arguments << type + u'=' + path;
    }
    QString error;
    auto owner =
        DesktopApp::launch(QStringLiteral(WRENLARK_TEST_CLIPBOARD_OWNER), arguments, {}, &error);
    if (!owner)
        qWarning("%s", qPrintable(error));
    else if (!wait && owner->readLine() != QLatin1String("owning"))
        return nullptr;
    return owner;
}

std::unique_ptr<TestEditor> ClipboardProbeTest::editorWithSelection(const QString &text,
                                                                    const QStringList &keys)
{
    QString error;
    auto editor = TestEditor::start(Kind::gtk, text, &error, noAccessibility);
    if (!editor) {
        qWarning("%s", qPrintable(error));
        return nullptr;
    }
    if (!editor->type(keys))
        return nullptr;
    return editor;
}

namespace {

// A process with no window to bring to the front, stopped when it goes.
class WindowlessProcess : public QProcess
{
public:
    WindowlessProcess() { start(QStringLiteral("sleep"), {QStringLiteral("30")}); }
    ~WindowlessProcess() override
    {
        kill();
        waitForFinished();
    }
    qint32 pid() const { return qint32(processId()); }
};

// Types nothing, as a desktop without any way to synthesize keys.
class NoKeys : public KeySynthesizer
{
public:
    bool isAvailable() override { return false; }
    static QString reason() { return QStringLiteral("No keys on this desktop."); }
    bool sendChord(const KeyChord &, QString *error) override
    {
        if (error)
            *error = reason();
        return false;
    }
    QString mechanismDescription() const override { return QStringLiteral("none"); }
};

// Types each chord a while after it was asked for, as keys through a
// desktop's portal reach a loaded compositor.
class LateKeys : public KeySynthesizer
{
public:
    explicit LateKeys(X11Desktop &x11)
        : m_xtest(x11)
    {
    }
    bool isAvailable() override { return true; }
    bool sendChord(const KeyChord &chord, QString *) override
    {
        ++sent;
        QTimer::singleShot(300, [this, chord] { m_xtest.sendChord(chord); });
        return true;
    }
    QString mechanismDescription() const override { return QStringLiteral("late XTest"); }
    int sent = 0;

private:
    XTestKeySynthesizer m_xtest;
};

// The reply waits on the clipboard as an ordinary copy the user can paste.
void verifyReplyIsOnTheClipboard(const QString &reply)
{
    QCOMPARE(QString::fromUtf8(ClipboardAsSeen::data(QStringLiteral("text/plain"))), reply);
    QVERIFY(!ClipboardAsSeen::formats().contains(QStringLiteral("x-kde-passwordManagerHint")));
}

} // namespace

SelectionRequest ClipboardProbeTest::probeRequest(qint32 pid) const
{
    SelectionRequest request;
    request.targetPid = pid;
    request.allowClipboardFallback = true;
    request.traceID = QStringLiteral("PROBE");
    return request;
}

void ClipboardProbeTest::primarySelectionOfTheTargetIsReadWithoutTouchingTheClipboard()
{
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    auto editor =
        editorWithSelection(QStringLiteral("hello world"),
                            {QStringLiteral("ctrl+End"), QStringLiteral("ctrl+shift+Left")});
    QVERIFY(editor);

    SelectionRequest request = probeRequest(editor->pid());
    request.allowClipboardFallback = false;
    const SelectionResult result = fetch(*m_services.selection, request);
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, QStringLiteral("world"));
    QVERIFY(!result.context->selectedRange);
    QCOMPARE(result.context->pid, editor->pid());
    // The owner quits when it loses the clipboard: it is still there.
    QCOMPARE(ClipboardAsSeen::data(QStringLiteral("text/html")), m_userClipboard[1].second);
}

void ClipboardProbeTest::primarySelectionOfAnotherApplicationIsNotTaken()
{
    auto selecting =
        editorWithSelection(QStringLiteral("stale selection"), {QStringLiteral("ctrl+a")});
    QVERIFY(selecting);
    auto target =
        editorWithSelection(QStringLiteral("nothing selected here"), {QStringLiteral("ctrl+End")});
    QVERIFY(target);

    SelectionRequest request = probeRequest(target->pid());
    request.allowClipboardFallback = false;
    QVERIFY(!fetch(*m_services.selection, request).context);
}

void ClipboardProbeTest::probeReadsTheSelectionAndRestoresEveryFormat()
{
    useStrategies(false);
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    const QStringList formatsBefore = ClipboardAsSeen::formats();
    QVERIFY(formatsBefore.contains(QStringLiteral("application/x-wrenlark-test")));
    auto editor = editorWithSelection(QStringLiteral("hello Wörld ✓"),
                                      {QStringLiteral("ctrl+End"), QStringLiteral("shift+Left"),
                                       QStringLiteral("shift+Left"), QStringLiteral("shift+Left"),
                                       QStringLiteral("shift+Left"), QStringLiteral("shift+Left"),
                                       QStringLiteral("shift+Left"), QStringLiteral("shift+Left")});
    QVERIFY(editor);

    const SelectionResult result = fetch(*m_services.selection, probeRequest(editor->pid()));
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, QStringLiteral("Wörld ✓"));
    QVERIFY(!result.context->selectedRange);
    QCOMPARE(result.context->pid, editor->pid());

    QCOMPARE(ClipboardAsSeen::formats(), formatsBefore);
    for (const auto &[type, bytes] : m_userClipboard)
        QCOMPARE(ClipboardAsSeen::data(type), bytes);
    QVERIFY(!ClipboardAsSeen::formats().contains(QStringLiteral("x-kde-passwordManagerHint")));
}

void ClipboardProbeTest::probeLeavesAnEmptyClipboardEmpty()
{
    useStrategies(false);
    {
        auto owner = ownClipboard({{QStringLiteral("text/plain"), QByteArrayLiteral("gone")}});
        QVERIFY(owner);
    } // The owner quits: nobody owns the clipboard any more.
    QTRY_VERIFY(ClipboardAsSeen::formats().isEmpty());
    auto editor = editorWithSelection(QStringLiteral("some text"), {QStringLiteral("ctrl+a")});
    QVERIFY(editor);

    const SelectionResult result = fetch(*m_services.selection, probeRequest(editor->pid()));
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, QStringLiteral("some text"));
    QVERIFY(ClipboardAsSeen::formats().isEmpty());
    QVERIFY(!QGuiApplication::clipboard()->ownsClipboard());
}

void ClipboardProbeTest::copyMadeByTheUserDuringTheProbeIsKept()
{
    useStrategies(false);
    auto before = ownClipboard({{QStringLiteral("text/plain"), QByteArrayLiteral("old copy")}});
    QVERIFY(before);
    auto user = ownClipboard({{QStringLiteral("text/plain"), QByteArrayLiteral("new copy")}}, true);
    QVERIFY(user);
    // Nothing is selected, so the editor's copy does nothing: the probe waits.
    auto editor = editorWithSelection(QStringLiteral("no selection"), {QStringLiteral("ctrl+End")});
    QVERIFY(editor);

    std::unique_ptr<SelectionFetch> running(
        m_services.selection->fetchSelection(probeRequest(editor->pid()), nullptr));
    QSignalSpy finished(running.get(), &SelectionFetch::finished);
    // The user copies while the probe's sentinel is on the clipboard.
    QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::clipboard()->ownsClipboard(), 5000);
    user->ask(QStringLiteral("take"));
    QVERIFY(finished.wait(5000));
    QVERIFY(!running->result().context);

    QVERIFY(waitForClipboardIdle());
    QCOMPARE(ClipboardAsSeen::data(QStringLiteral("text/plain")), QByteArrayLiteral("new copy"));
    QVERIFY(!QGuiApplication::clipboard()->ownsClipboard());
}

void ClipboardProbeTest::cancelledProbeStillRestoresTheClipboard()
{
    useStrategies(false);
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    auto editor = editorWithSelection(QStringLiteral("copy me"), {QStringLiteral("ctrl+a")});
    QVERIFY(editor);

    std::unique_ptr<SelectionFetch> running(
        m_services.selection->fetchSelection(probeRequest(editor->pid()), nullptr));
    QSignalSpy finished(running.get(), &SelectionFetch::finished);
    QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::clipboard()->ownsClipboard(), 5000);
    running->cancel();
    QVERIFY(finished.wait(1000));
    QVERIFY(running->wasCancelled());
    QVERIFY(!running->result().context);

    QVERIFY(waitForClipboardIdle());
    for (const auto &[type, bytes] : m_userClipboard)
        QCOMPARE(ClipboardAsSeen::data(type), bytes);
}

// Cancelled once its copy key went out, the probe waits for that copy
// before putting the user's clipboard back, so the copy never replaces it.
void ClipboardProbeTest::cancelledProbeOutwaitsALateCopy()
{
    useStrategies(false);
    auto keys = std::make_shared<LateKeys>(m_desktop->x11);
    const DesktopServices typing = servicesTypingWith(keys);
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    auto editor = editorWithSelection(QStringLiteral("copy me"), {QStringLiteral("ctrl+a")});
    QVERIFY(editor);

    std::unique_ptr<SelectionFetch> running(
        typing.selection->fetchSelection(probeRequest(editor->pid()), nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(keys->sent >= 1, 5000);
    running->cancel();
    QVERIFY(waitForClipboardIdle());
    // What must not come, a copy that replaced the user's clipboard after
    // the probe, would come within the keys' delay.
    QTest::qWait(600);
    for (const auto &[type, bytes] : m_userClipboard)
        QCOMPARE(ClipboardAsSeen::data(type), bytes);
}

void ClipboardProbeTest::pasteRestoresTheClipboardOnlyAfterTheTargetFetchedTheText()
{
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    // This editor reads the clipboard 0.6 s after Ctrl+V: a restore on a
    // blind 0.25 s timer would make it paste the user's old text.
    QString error;
    auto editor = DesktopApp::launch(QStringLiteral(WRENLARK_TEST_EDITOR),
                                     {QStringLiteral("--text"), QStringLiteral("start "),
                                      QStringLiteral("--paste-delay"), QStringLiteral("600")},
                                     {}, &error);
    QVERIFY2(editor, qPrintable(error));
    QCOMPARE(editor->readLine(), QStringLiteral("ready"));
    QVERIFY(editor->activate());
    QVERIFY(editor->keys({QStringLiteral("ctrl+End")}));

    SelectionContext context; // from the clipboard: no element, no range
    context.selectedText = QStringLiteral("start");
    context.pid = editor->pid();
    QCOMPARE(replace(*m_services.replacement, context, QStringLiteral("the reply ✓")),
             ReplacementOperation::State::succeeded);
    QVERIFY(waitForClipboardIdle());
    const QString answer = editor->ask(QStringLiteral("text"));
    QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(answer.mid(5).toLatin1())),
             QStringLiteral("start the reply ✓"));
    for (const auto &[type, bytes] : m_userClipboard)
        QCOMPARE(ClipboardAsSeen::data(type), bytes);
}

void ClipboardProbeTest::pasteIntoATargetThatNeverFetchesRestoresAfterTheBoundedWait()
{
    auto *service = dynamic_cast<LinuxReplacementService *>(m_services.replacement.get());
    PasteOperation::Timing timing;
    timing.latestRestore = 0.6;
    service->setPasteTiming(timing);
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    // A window without a text field ignores Ctrl+V.
    auto deaf = ownClipboard({{QStringLiteral("text/plain"), QByteArrayLiteral("x")}}, true);
    QVERIFY(deaf);

    SelectionContext context;
    context.selectedText = QStringLiteral("anything");
    context.pid = deaf->pid();
    std::unique_ptr<ReplacementOperation> operation(
        m_services.replacement->replaceSelection(context, QStringLiteral("unread reply"), nullptr));
    QSignalSpy dispatched(operation.get(), &ReplacementOperation::finished);
    QVERIFY(dispatched.wait(5000));
    QVERIFY(operation->wasDispatched());
    // While the reply is staged, clipboard managers are told not to record it.
    QVERIFY(QGuiApplication::clipboard()->ownsClipboard());
    QVERIFY(ClipboardAsSeen::formats().contains(QStringLiteral("x-kde-passwordManagerHint")));
    QCOMPARE(ClipboardAsSeen::data(QStringLiteral("x-kde-passwordManagerHint")),
             QByteArrayLiteral("secret"));
    QVERIFY(waitForClipboardIdle());
    service->setPasteTiming({});
    for (const auto &[type, bytes] : m_userClipboard)
        QCOMPARE(ClipboardAsSeen::data(type), bytes);
    QVERIFY(TestSandbox::flushedLog().contains(
        QStringLiteral("Replacement: target did not fetch the pasted text in time.")));
}

void ClipboardProbeTest::probeThatCannotTypeTheCopyKeySaysWhy()
{
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    auto editor = editorWithSelection(QStringLiteral("selected"), {QStringLiteral("ctrl+a")});
    QVERIFY(editor);
    // Without PRIMARY, which would answer without a key.
    const DesktopServices typing = servicesTypingWith(std::make_shared<NoKeys>());

    const SelectionResult result =
        fetchClipboardOnly(*typing.selection, probeRequest(editor->pid()));
    QVERIFY(!result.context);
    QCOMPARE(result.notice, NoKeys::reason());
    QVERIFY(waitForClipboardIdle());
    for (const auto &[type, bytes] : m_userClipboard)
        QCOMPARE(ClipboardAsSeen::data(type), bytes);
}

void ClipboardProbeTest::probeNeverTypesIntoAnotherWindowInFront()
{
    useStrategies(false);
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    // A Ctrl+C typed here would put its selection on the clipboard.
    auto editor = editorWithSelection(QStringLiteral("not asked for"), {QStringLiteral("ctrl+a")});
    QVERIFY(editor);
    WindowlessProcess windowless;
    QVERIFY(windowless.waitForStarted());

    const SelectionResult result =
        fetchClipboardOnly(*m_services.selection, probeRequest(windowless.pid()));
    QVERIFY(!result.context);
    QVERIFY(result.notice.contains(QStringLiteral("did not come to the front")));
    QVERIFY(waitForClipboardIdle());
    DesktopTestSession::settle(300);
    for (const auto &[type, bytes] : m_userClipboard)
        QCOMPARE(ClipboardAsSeen::data(type), bytes);
}

void ClipboardProbeTest::pasteThatCannotBeTypedLeavesTheReplyOnTheClipboard()
{
    auto owner = ownClipboard(m_userClipboard);
    QVERIFY(owner);
    QString error;
    auto editor = TestEditor::start(Kind::qt, QStringLiteral("untouched"), &error);
    QVERIFY2(editor, qPrintable(error));
    QVERIFY(editor->type({QStringLiteral("ctrl+End")}));
    const DesktopServices typing = servicesTypingWith(std::make_shared<NoKeys>());

    SelectionContext context;
    context.selectedText = QStringLiteral("untouched");
    context.pid = editor->pid();
    std::unique_ptr<ReplacementOperation> operation(
        typing.replacement->replaceSelection(context, QStringLiteral("kept reply"), nullptr));
    QSignalSpy finished(operation.get(), &ReplacementOperation::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(operation->state(), ReplacementOperation::State::failed);
    QCOMPARE(operation->failureMessage(),
             NoKeys::reason() + QStringLiteral(" The reply is on the clipboard."));
    QVERIFY(waitForClipboardIdle());
    verifyReplyIsOnTheClipboard(QStringLiteral("kept reply"));
    QCOMPARE(editor->documentText(), QStringLiteral("untouched"));
}

void ClipboardProbeTest::pasteIsNeverTypedIntoAnotherWindowInFront()
{
    auto *service = dynamic_cast<LinuxReplacementService *>(m_services.replacement.get());
    PasteOperation::Timing timing;
    timing.activationTimeout = 0.3;
    service->setPasteTiming(timing);
    auto restoreTiming = qScopeGuard([service] { service->setPasteTiming({}); });
    QString error;
    auto editor = TestEditor::start(Kind::qt, QStringLiteral("in front"), &error);
    QVERIFY2(editor, qPrintable(error));
    QVERIFY(editor->type({QStringLiteral("ctrl+End")}));
    // The selection's application has no window to bring forward.
    WindowlessProcess windowless;
    QVERIFY(windowless.waitForStarted());

    SelectionContext context;
    context.selectedText = QStringLiteral("elsewhere");
    context.pid = windowless.pid();
    std::unique_ptr<ReplacementOperation> operation(
        m_services.replacement->replaceSelection(context, QStringLiteral("misplaced?"), nullptr));
    QSignalSpy finished(operation.get(), &ReplacementOperation::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(operation->state(), ReplacementOperation::State::failed);
    QVERIFY(operation->failureMessage().contains(QStringLiteral("did not come to the front")));
    QVERIFY(waitForClipboardIdle());
    DesktopTestSession::settle(300);
    QCOMPARE(editor->documentText(), QStringLiteral("in front"));
    verifyReplyIsOnTheClipboard(QStringLiteral("misplaced?"));
    QVERIFY(TestSandbox::flushedLog().contains(
        QStringLiteral("Replacement: paste not sent, another window is in front")));
}

int main(int argc, char *argv[])
{
    DesktopTestSession::preparePlatform();
    prepareLinuxDesktopProcess();
    QApplication app(argc, argv);
    ClipboardProbeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_clipboard_probe.moc"

// Terminal emulators: the probe and the paste must never type Ctrl+C into
// them (it interrupts the running program). xterm gets no copy keystroke at
// all (it sends ^C for Ctrl+Shift+C too) and is pasted into through PRIMARY
// with Shift+Insert; st copies and pastes with Ctrl+Shift+C/V.
#include "DesktopSelectionFixture.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/selection/LinuxSelectionService.h"
#include "support/TestSandbox.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace SelectionTestSteps;

class TerminalTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void xtermGetsNoCopyKeystrokeAndIsPastedIntoThroughPrimary();
    void stIsCopiedWithCtrlShiftCAndPastedWithCtrlShiftV();

private:
    // A terminal that prints "pick-me" and then records every byte it
    // receives from the keyboard into a file.
    std::unique_ptr<DesktopApp> startTerminal(const QString &program);
    QByteArray received() const;
    void useStrategies(bool primary);

    QTemporaryDir m_folder;
    std::unique_ptr<LinuxDesktopConnections> m_desktop;
    DesktopServices m_services;
};

void TerminalTest::initTestCase()
{
    if (const auto reason = DesktopTestSession::unavailableReason())
        QSKIP(qPrintable(*reason));
    m_desktop = std::make_unique<LinuxDesktopConnections>();
    m_services = createLinuxDesktopServices(*m_desktop);
}

void TerminalTest::cleanup()
{
    QVERIFY(waitForClipboardIdle());
    useStrategies(true);
    QFile::remove(m_folder.filePath(QStringLiteral("received")));
}

void TerminalTest::useStrategies(bool primary)
{
    dynamic_cast<LinuxSelectionService *>(m_services.selection.get())
        ->setStrategies({true, primary});
}

std::unique_ptr<DesktopApp> TerminalTest::startTerminal(const QString &program)
{
    const QString script =
        QStringLiteral("printf 'pick-me\\n'; stty raw -echo; exec dd bs=1 of='%1' 2>/dev/null")
            .arg(m_folder.filePath(QStringLiteral("received")));
    QString error;
    auto terminal = DesktopApp::launch(
        program, {QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"), script}, {},
        &error);
    if (!terminal)
        qWarning("%s", qPrintable(error));
    DesktopTestSession::settle(500);
    return terminal;
}

QByteArray TerminalTest::received() const
{
    QFile file(m_folder.filePath(QStringLiteral("received")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TerminalTest::xtermGetsNoCopyKeystrokeAndIsPastedIntoThroughPrimary()
{
    useStrategies(false);
    auto terminal = startTerminal(QStringLiteral("xterm"));
    QVERIFY(terminal);
    QVERIFY(terminal->activate());

    SelectionRequest request;
    request.targetPid = terminal->pid();
    request.allowClipboardFallback = true;
    QVERIFY(!fetch(*m_services.selection, request).context);
    QVERIFY(TestSandbox::flushedLog().contains(QStringLiteral("attempts=0")));

    SelectionContext context;
    context.selectedText = QStringLiteral("pick-me");
    context.pid = terminal->pid();
    QCOMPARE(replace(*m_services.replacement, context, QStringLiteral("echo ok")),
             ReplacementOperation::State::succeeded);
    QVERIFY(waitForClipboardIdle());
    DesktopTestSession::settle(200);
    const QByteArray bytes = received();
    QVERIFY2(!bytes.contains('\x03'), bytes.toHex().constData());
    QCOMPARE(bytes, QByteArrayLiteral("echo ok"));
}

void TerminalTest::stIsCopiedWithCtrlShiftCAndPastedWithCtrlShiftV()
{
    auto terminal = startTerminal(QStringLiteral("st"));
    QVERIFY(terminal);
    QVERIFY(terminal->activate());
    // Double-click the first word of the first line.
    QVERIFY(DesktopTestSession::xdotool(
        {QStringLiteral("mousemove"), QStringLiteral("--window"), terminal->window(),
         QStringLiteral("12"), QStringLiteral("8"), QStringLiteral("click"),
         QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("1")}));
    DesktopTestSession::settle(200);

    SelectionRequest request;
    request.targetPid = terminal->pid();
    const SelectionResult fromPrimary = fetch(*m_services.selection, request);
    QVERIFY(fromPrimary.context);
    QCOMPARE(fromPrimary.context->selectedText, QStringLiteral("pick-me"));

    useStrategies(false);
    request.allowClipboardFallback = true;
    const SelectionResult probed = fetch(*m_services.selection, request);
    QVERIFY(probed.context);
    QCOMPARE(probed.context->selectedText, QStringLiteral("pick-me"));

    QCOMPARE(replace(*m_services.replacement, *probed.context, QStringLiteral("echo ok")),
             ReplacementOperation::State::succeeded);
    QVERIFY(waitForClipboardIdle());
    DesktopTestSession::settle(200);
    const QByteArray bytes = received();
    QVERIFY2(!bytes.contains('\x03'), bytes.toHex().constData());
    QVERIFY2(bytes.endsWith("echo ok"), bytes.constData());
}

int main(int argc, char *argv[])
{
    DesktopTestSession::preparePlatform();
    prepareLinuxDesktopProcess();
    QApplication app(argc, argv);
    TerminalTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_terminals.moc"

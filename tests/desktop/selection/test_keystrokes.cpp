// The synthesized copy keystroke reaches the target as exactly Ctrl+C in
// the situations a user creates: the global shortcut (Alt+Space) still held
// down, which makes this process's passive grab an active keyboard grab and
// adds Alt to every key; and a keyboard layout without a "c" key. A global
// shortcut follows its key when the keyboard layout changes.
#include "DesktopSelectionFixture.h"
#include "HeldShortcut.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/selection/LinuxSelectionService.h"
#include "platform/linux/shortcuts/X11KeyGrabber.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
using namespace SelectionTestSteps;

class KeystrokeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void copyWorksWhileTheShortcutIsStillHeld();
    void copyWorksWithALayoutThatHasNoLatinC();
    void shortcutFollowsTheKeyboardLayout();

private:
    std::unique_ptr<TestEditor> editorWithSelection();
    SelectionResult probe(const TestEditor &editor);

    std::unique_ptr<LinuxDesktopConnections> m_desktop;
    DesktopServices m_services;
};

void KeystrokeTest::initTestCase()
{
    if (const auto reason = DesktopTestSession::unavailableReason())
        QSKIP(qPrintable(*reason));
    m_desktop = std::make_unique<LinuxDesktopConnections>();
    m_services = createLinuxDesktopServices(*m_desktop);
    // Only the clipboard probe types keys.
    dynamic_cast<LinuxSelectionService *>(m_services.selection.get())->setStrategies({true, false});
}

void KeystrokeTest::cleanup()
{
    QVERIFY(waitForClipboardIdle());
    DesktopTestSession::xdotool({QStringLiteral("keyup"), QStringLiteral("alt+space")});
    DesktopTestSession::run(QStringLiteral("setxkbmap"), {QStringLiteral("us")});
}

std::unique_ptr<TestEditor> KeystrokeTest::editorWithSelection()
{
    QString error;
    auto editor = TestEditor::start(TestEditor::Kind::gtk, QStringLiteral("copy this"), &error,
                                    {QStringLiteral("NO_AT_BRIDGE=1")});
    if (!editor || !editor->type({QStringLiteral("ctrl+a")})) {
        qWarning("%s", qPrintable(error));
        return nullptr;
    }
    return editor;
}

SelectionResult KeystrokeTest::probe(const TestEditor &editor)
{
    SelectionRequest request;
    request.targetPid = editor.pid();
    request.allowClipboardFallback = true;
    return fetch(*m_services.selection, request);
}

void KeystrokeTest::copyWorksWhileTheShortcutIsStillHeld()
{
    auto editor = editorWithSelection();
    QVERIFY(editor);
    // Hold down a grabbed Alt+Space: the passive grab becomes an active
    // keyboard grab of this process, and Alt is down.
    std::optional<HeldShortcut> shortcut(std::in_place);
    QVERIFY(shortcut->isGrabbed());
    QVERIFY(DesktopTestSession::xdotool({QStringLiteral("keydown"), QStringLiteral("alt+space")}));

    const SelectionResult result = probe(*editor);
    shortcut.reset();
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, QStringLiteral("copy this"));
    // Nothing the user held is pressed again afterwards.
    QVERIFY(!HeldShortcut::isAltDown());
}

void KeystrokeTest::copyWorksWithALayoutThatHasNoLatinC()
{
    auto editor = editorWithSelection();
    QVERIFY(editor);
    const auto layout =
        DesktopTestSession::run(QStringLiteral("setxkbmap"), {QStringLiteral("ru")});
    if (!layout.finished || layout.exitCode != 0)
        QSKIP("setxkbmap cannot switch this X server to a Russian layout");
    DesktopTestSession::settle(200);

    const SelectionResult result = probe(*editor);
    QVERIFY(result.context);
    QCOMPARE(result.context->selectedText, QStringLiteral("copy this"));
}

// German trades the places of Z and Y: Ctrl+Alt+Z is another key then.
void KeystrokeTest::shortcutFollowsTheKeyboardLayout()
{
    X11KeyGrabber grabber;
    QVERIFY(grabber.isAvailable());
    QSignalSpy pressed(&grabber, &ShortcutBackend::pressed);
    QCOMPARE(grabber.bind(QStringLiteral("test"),
                          ShortcutKey::fromPortableText(QStringLiteral("Ctrl+Alt+Z"))),
             QString());
    const auto press = [] {
        return DesktopTestSession::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+z")});
    };
    QVERIFY(press());
    QTRY_COMPARE(pressed.size(), qsizetype(1));

    const auto layout =
        DesktopTestSession::run(QStringLiteral("setxkbmap"), {QStringLiteral("de")});
    if (!layout.finished || layout.exitCode != 0)
        QSKIP("setxkbmap cannot switch this X server to a German layout");
    // Pressed again until the new map has reached the grab.
    for (int attempt = 0; attempt < 20 && pressed.size() < 2; ++attempt) {
        QVERIFY(press());
        pressed.wait(500);
    }
    QVERIFY(pressed.size() >= 2);
}

int main(int argc, char *argv[])
{
    DesktopTestSession::preparePlatform();
    prepareLinuxDesktopProcess();
    QApplication app(argc, argv);
    KeystrokeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_keystrokes.moc"

// GNOME Shell 43 itself, headless: what `wrenlark doctor` says of GNOME is
// what GNOME does, and the shortcut Wrenlark adds to GNOME's keyboard
// settings, on the key it takes by default there, fired by a key sent
// through Mutter's RemoteDesktop interface, opens the bar with the focus
// over a Wayland editor; the reply is written over its selection and the
// clipboard kept; Escape closes the bar. The shell's Eval (allowed by the
// test extension) tells which window has the focus.
#include "ChatStream.h"
#include "GnomeShell.h"
#include "ResidentApp.h"
#include "TestEditor.h"
#include "platform/linux/desktops/gnome/GnomeCommandKeybinding.h"
#include "platform/linux/desktops/gnome/MutterRemoteDesktopKeys.h"
#include "platform/linux/shortcuts/FirstRunShortcut.h"
#include "support/DesktopTestSession.h"
#include "support/TestHttpServer.h"

#include <QProcess>
#include <QTest>

using DesktopTestSession::askInBar;
using DesktopTestSession::run;
using DesktopTestSession::xdotool;

namespace {

// XWayland's clipboard is GNOME's: one clipboard for every window.
QString clipboard()
{
    const auto result =
        run(QStringLiteral("xclip"),
            {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    return QString::fromUtf8(result.output);
}

void setClipboard(const QString &text)
{
    // xclip stays to serve the clipboard until someone else takes it.
    QProcess::startDetached(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("printf %s \"$0\" | xclip -selection clipboard >/dev/null 2>&1"), text});
    QTRY_COMPARE_WITH_TIMEOUT(clipboard(), text, 5000);
}

// The shell's action for Ctrl+Alt+Space (X key code 65, Control and Mod1),
// 0 while nothing has grabbed it.
int ctrlAltSpaceAction()
{
    return GnomeShell::eval(QStringLiteral("global.display.get_keybinding_action(65, 4 | 8)"))
        .toInt();
}

QString doctor(const QStringList &extraEnvironment = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // As the desktop starts it (CTest asks its tests for no display).
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString &variable : extraEnvironment)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    process.setProcessEnvironment(environment);
    process.start(qEnvironmentVariable("WRENLARK_BINARY"), {QStringLiteral("doctor")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

} // namespace

class GnomeShellTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("WRENLARK_GNOME_SESSION"))
            QSKIP("runs inside tests/support/gnome-session");
    }

    // Alt+Space is GNOME's window-menu key: a shortcut the user made on it
    // never fires, and doctor says so; Wrenlark refuses to add one there.
    // What GNOME's portal and compositor tell, doctor repeats.
    void doctorSaysWhatGnomeDoes()
    {
        const QString path = QStringLiteral(
            "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/");
        const QString entry =
            QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:") +
            path;
        for (const auto &[key, value] :
             {std::pair{QStringLiteral("name"), QStringLiteral("mine")},
              std::pair{QStringLiteral("command"), QStringLiteral("wrenlark toggle")},
              std::pair{QStringLiteral("binding"), QStringLiteral("<Alt>space")}})
            QCOMPARE(QProcess::execute(QStringLiteral("gsettings"),
                                       {QStringLiteral("set"), entry, key, value}),
                     0);
        QCOMPARE(
            QProcess::execute(QStringLiteral("gsettings"),
                              {QStringLiteral("set"),
                               QStringLiteral("org.gnome.settings-daemon.plugins.media-keys"),
                               QStringLiteral("custom-keybindings"), u"['"_qs + path + u"']"_qs}),
            0);

        const QString said = doctor();
        QVERIFY2(said.contains(QStringLiteral("GNOME uses Alt+Space itself (Activate the window "
                                              "menu)")),
                 qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("GNOME Shell tells no other program")),
                 qPrintable(said));
        QVERIFY2(!said.contains(QStringLiteral("sway")), qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("Wrenlark runs as: X11 client under XWayland")),
                 qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("Key synthesis: Mutter remote desktop")),
                 qPrintable(said));

        GnomeCommandKeybinding keybinding(true, QStringLiteral("wrenlark toggle"));
        QString error;
        QVERIFY(!keybinding.install(QStringLiteral("Alt+Space"), &error));
        QVERIFY2(error.contains(QStringLiteral("window menu")), qPrintable(error));
        QProcess::execute(QStringLiteral("gsettings"),
                          {QStringLiteral("reset"),
                           QStringLiteral("org.gnome.settings-daemon.plugins.media-keys"),
                           QStringLiteral("custom-keybindings")});

        // A display that cannot be opened: Wayland is taken instead, and said.
        const QString fallback = doctor({QStringLiteral("DISPLAY=:987")});
        QVERIFY2(fallback.contains(QStringLiteral("cannot be opened; using the Wayland display")),
                 qPrintable(fallback));
        QVERIFY2(fallback.contains(QStringLiteral("Wrenlark runs as: Wayland client")),
                 qPrintable(fallback));
    }

    // The default shortcut on GNOME is one GNOME leaves free: added, it
    // fires over a Wayland editor; the reply streams and Ctrl+Return writes
    // it over the selection (over accessibility), the clipboard untouched;
    // Escape closes the bar.
    void defaultShortcutAskAndReplace()
    {
        TestHttpServer server;
        ResidentApp app;
        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QVERIFY(app.configureProvider(server.url(QString::fromLatin1(ChatStream::chatPath))));
        QVERIFY(app.start());
        QCOMPARE(ctrlAltSpaceAction(), 0);
        GnomeCommandKeybinding keybinding(true, qEnvironmentVariable("WRENLARK_BINARY") +
                                                    QStringLiteral(" toggle"));
        const QString key = FirstRunShortcut::toggleDefaultFor(&keybinding);
        QCOMPARE(key, QStringLiteral("Ctrl+Alt+Space"));
        QString error;
        QVERIFY2(keybinding.install(key, &error), qPrintable(error));
        // gnome-settings-daemon asks the shell to grab the new key.
        QTRY_VERIFY_WITH_TIMEOUT(ctrlAltSpaceAction() != 0, 20000);

        TestEditor editor;
        QVERIFY(editor.start(QStringLiteral("hello world foo"), QStringLiteral("Wayland editor")));
        QCOMPARE(editor.ask(QStringLiteral("select world")), QStringLiteral("selected 6 11"));
        QTRY_COMPARE_WITH_TIMEOUT(GnomeShell::focusedPid(), editor.pid(), 20000);
        setClipboard(QStringLiteral("kept"));
        server.enqueue("POST", ChatStream::chatPath, ChatStream::reply({"WO", "RLD"}, 300));

        GnomeShell::Keyboard keyboard;
        QVERIFY(keyboard.isReady());
        keyboard.press({GnomeShell::keyCtrl, GnomeShell::keyAlt, GnomeShell::keySpace});
        QTRY_COMPARE_WITH_TIMEOUT(GnomeShell::focusedPid(), app.pid(), 20000);
        QCOMPARE(GnomeShell::eval(QStringLiteral("global.display.focus_window.get_title()")),
                 QStringLiteral("\"Wrenlark\""));
        QVERIFY(askInBar(QStringLiteral("upper case"), QStringLiteral("\nWORLD")));
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Return")}));
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("hello WORLD foo"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(GnomeShell::focusedPid(), editor.pid(), 20000);
        QCOMPARE(clipboard(), QStringLiteral("kept"));
        QCOMPARE(server.requestCount(), 1);

        keyboard.press({GnomeShell::keyCtrl, GnomeShell::keyAlt, GnomeShell::keySpace});
        QTRY_COMPARE_WITH_TIMEOUT(GnomeShell::focusedPid(), app.pid(), 20000);
        keyboard.press({GnomeShell::keyEscape});
        QTRY_COMPARE_WITH_TIMEOUT(GnomeShell::focusedPid(), editor.pid(), 20000);
        QVERIFY(keybinding.remove(&error));
    }

    // The copy and paste keys reach a Wayland window through Mutter's own
    // remote desktop interface, and GNOME asks nothing (the portal of GNOME
    // 43 would ask at every start). Two chords in a row arrive in order.
    void keysReachAWaylandWindowUnasked()
    {
        TestEditor editor;
        QVERIFY(editor.start(QStringLiteral("hello"), QStringLiteral("Wayland editor")));
        QTRY_COMPARE_WITH_TIMEOUT(GnomeShell::focusedPid(), editor.pid(), 20000);
        MutterRemoteDesktopKeys keys;
        QVERIFY(keys.sendChord({Qt::ControlModifier, 0xff57})); // Ctrl+End
        QVERIFY(keys.sendChord({Qt::ShiftModifier, 0x0078}));   // X
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("helloX"), 10000);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    GnomeShellTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_gnome_shell.moc"

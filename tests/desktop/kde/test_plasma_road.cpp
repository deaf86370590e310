// The whole road on KDE Plasma's compositor (KWin 5.27 headless, with
// XWayland, AT-SPI, a keyring and the KDE portal, brought up by
// tests/support/kde-session): the real resident application takes its
// default shortcut from KDE's shortcut service on the first start (Alt+Space
// is KRunner's there); a key press sent through the desktop's RemoteDesktop
// portal, as from a keyboard, opens one bar, focused over a Wayland editor;
// an instruction and Return stream the reply from a local server;
// Ctrl+Return writes it over the selection (over accessibility, the target
// known from a KWin script; into a browser with its paste key through the
// Wayland clipboard) and the user's clipboard is what it was. For the
// editor, the same key opens the bar again, Escape closes it, and the key
// opens and closes it once more; a key the user sets in KDE's shortcut
// settings becomes Wrenlark's. KWin's own list of windows says which one is
// active.
#include "ChatStream.h"
#include "ResidentApp.h"
#include "TestEditor.h"
#include "WaylandClipboard.h"
#include "platform/linux/keys/RemoteDesktopPortalKeys.h"
#include "support/DesktopTestSession.h"
#include "support/TestHttpServer.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyCombination>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using DesktopTestSession::askInBar;
using DesktopTestSession::run;
using DesktopTestSession::xdotool;

namespace {

const QString barTitle = QStringLiteral("Wrenlark");

struct KWinWindow
{
    QString caption;
    qint64 pid = 0;
    bool active = false;
};

QList<KWinWindow> kwinWindows()
{
    const auto result = run(QStringLiteral(WRENLARK_KWIN_WINDOWS), {});
    QList<KWinWindow> windows;
    for (const QJsonValue &value : QJsonDocument::fromJson(result.output).array()) {
        const QJsonObject window = value.toObject();
        windows.append({window.value(QStringLiteral("caption")).toString(),
                        window.value(QStringLiteral("pid")).toInteger(),
                        window.value(QStringLiteral("active")).toBool()});
    }
    return windows;
}

qint64 activePid()
{
    for (const KWinWindow &window : kwinWindows())
        if (window.active)
            return window.pid;
    return 0;
}

// The bars of `pid` KWin knows, and whether one of them is active.
struct Bars
{
    int count = 0;
    bool active = false;
    bool operator==(const Bars &) const = default;
};

Bars barsOf(qint64 pid)
{
    Bars bars;
    for (const KWinWindow &window : kwinWindows()) {
        if (window.pid == pid && window.caption == barTitle) {
            ++bars.count;
            bars.active = bars.active || window.active;
        }
    }
    return bars;
}

// Waits by the clock until `actual` is `expected`: each look at KWin's
// windows runs a script in KWin, which takes a while on a loaded machine.
#define WAIT_FOR_KWIN(actual, expected, timeoutMs)                                                 \
    do {                                                                                           \
        if (!QTest::qWaitFor([&] { return (actual) == (expected); }, timeoutMs))                   \
            QCOMPARE(actual, expected);                                                            \
    } while (false)

// The application's log from the bar's last opening on.
QString lastSession(const ResidentApp &resident)
{
    const QString log = resident.log();
    return log.mid(log.lastIndexOf(QStringLiteral("Selection detect")));
}

constexpr Bars noBar{0, false};
constexpr Bars focusedBar{1, true};

} // namespace

QT_BEGIN_NAMESPACE
namespace QTest {
template<> char *toString(const Bars &bars)
{
    const QByteArray text =
        QByteArray::number(bars.count) + (bars.active ? " bar(s), one active" : " bar(s)");
    return qstrdup(text.constData());
}
} // namespace QTest
QT_END_NAMESPACE

class PlasmaRoadTest : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    QTemporaryDir m_tokens;
    std::unique_ptr<RemoteDesktopPortalKeys> m_keyboard;

    // The shortcut as a keyboard would type it, through KWin's input.
    void pressShortcut()
    {
        QString error;
        QVERIFY2(m_keyboard->sendChord({Qt::ControlModifier | Qt::AltModifier, 0x20}, &error),
                 qPrintable(error));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariable("WRENLARK_KDE_SESSION") != QLatin1String("1"))
            QSKIP("runs inside tests/support/kde-session");
        m_keyboard =
            std::make_unique<RemoteDesktopPortalKeys>(m_tokens.filePath(QStringLiteral("token")));
        m_keyboard->startSession();
        QTRY_VERIFY_WITH_TIMEOUT(m_keyboard->isAvailable(), 10000);
        // The first key of a session may be lost; this one changes nothing.
        QVERIFY(m_keyboard->sendChord({Qt::NoModifier, 0xffe1}));
    }

    void shortcutAskAndReplace_data()
    {
        QTest::addColumn<QString>("programName");
        QTest::newRow("an editor, read and written over accessibility")
            << QStringLiteral("wrenlark-test-editor");
        // A browser (the editor under Firefox's name): the reply is pasted
        // with its paste key, typed through the portal, from the Wayland
        // clipboard (data control), and the user's clipboard put back there.
        QTest::newRow("a browser") << QStringLiteral("firefox");
    }

    void shortcutAskAndReplace()
    {
        QFETCH(QString, programName);
        const bool browser = programName == QLatin1String("firefox");
        ResidentApp resident;
        resident.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QVERIFY(
            resident.configureProvider(m_server.url(QString::fromLatin1(ChatStream::chatPath))));
        QVERIFY(resident.start());
        QTRY_VERIFY_WITH_TIMEOUT(resident.log().contains(QStringLiteral(
                                     "kglobalaccel bound toggleWrenlark to Ctrl+Alt+Space")),
                                 10000);
        QVERIFY2(resident.log().contains(QStringLiteral("Alt+Space (KRunner)")),
                 qPrintable(resident.log()));
        // No bar is mapped before the first open.
        QCOMPARE(barsOf(resident.pid()), noBar);

        TestEditor editor;
        editor.setProgramName(programName);
        QVERIFY(editor.start(QStringLiteral("hello world foo"), QStringLiteral("Wayland editor")));
        QCOMPARE(editor.ask(QStringLiteral("select world")), QStringLiteral("selected 6 11"));
        WAIT_FOR_KWIN(activePid(), editor.pid(), 10000);
        WaylandClipboard::setText(QStringLiteral("kept"));
        QTRY_COMPARE_WITH_TIMEOUT(WaylandClipboard::text(), QStringLiteral("kept"), 5000);
        m_server.enqueue("POST", ChatStream::chatPath, ChatStream::reply({"WO", "RLD"}, 300));
        const int requestsBefore = m_server.requestCount();

        pressShortcut();
        WAIT_FOR_KWIN(barsOf(resident.pid()), focusedBar, 10000);
        QVERIFY(askInBar(QStringLiteral("upper case"), QStringLiteral("\nWORLD")));
        QCOMPARE(m_server.requestCount(), requestsBefore + 1);
        const QByteArray sent = QJsonDocument(m_server.requests().constLast().jsonBody()).toJson();
        QVERIFY2(sent.contains("world") && sent.contains("upper case"),
                 qPrintable(QString::fromUtf8(sent) + resident.log()));

        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Return")}));
        WAIT_FOR_KWIN(barsOf(resident.pid()), noBar, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("hello WORLD foo"), 10000);
        QVERIFY2(
            QTest::qWaitFor([] { return WaylandClipboard::text() == QLatin1String("kept"); }, 5000),
            qPrintable(WaylandClipboard::text() + u'\n' + lastSession(resident)));
        WAIT_FOR_KWIN(activePid(), editor.pid(), 5000);
        QCOMPARE(m_server.requestCount(), requestsBefore + 1);
        // The KWin script told the Wayland editor for the target.
        QVERIFY2(resident.log().contains(
                     QStringLiteral("Replacement target pid=%1 bundle=wrenlark-test-editor")
                         .arg(editor.pid())),
                 qPrintable(lastSession(resident)));
        QCOMPARE(resident.log().contains(QStringLiteral("using paste fallback")), browser);
        if (browser) {
            QCOMPARE(resident.runCommand({QStringLiteral("quit")}).exitCode, 0);
            QVERIFY(resident.waitForExit());
            return;
        }

        // The shortcut again opens one bar, Escape closes it; the shortcut
        // opens it and closes it.
        pressShortcut();
        WAIT_FOR_KWIN(barsOf(resident.pid()), focusedBar, 10000);
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
        WAIT_FOR_KWIN(barsOf(resident.pid()), noBar, 10000);
        pressShortcut();
        WAIT_FOR_KWIN(barsOf(resident.pid()), focusedBar, 10000);
        pressShortcut();
        WAIT_FOR_KWIN(barsOf(resident.pid()), noBar, 10000);
        WAIT_FOR_KWIN(activePid(), editor.pid(), 5000);

        // Another key set in System Settings becomes Wrenlark's choice, kept
        // for the next start, and opens the bar.
        const int ctrlAltJ =
            QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_J).toCombined();
        QVERIFY(run(QStringLiteral("gdbus"),
                    {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                     QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("--object-path"),
                     QStringLiteral("/kglobalaccel"), QStringLiteral("--method"),
                     QStringLiteral("org.kde.KGlobalAccel.setForeignShortcutKeys"),
                     QStringLiteral("['wrenlark', 'toggleWrenlark', 'Wrenlark', '']"),
                     QStringLiteral("[([%1, 0, 0, 0],)]").arg(ctrlAltJ)})
                    .exitCode == 0);
        QTRY_COMPARE_WITH_TIMEOUT(QSettings(resident.settingsFile(), QSettings::IniFormat)
                                      .value(QStringLiteral("keyboard_shortcut_toggleWrenlark")),
                                  QVariant(QStringLiteral("Ctrl+Alt+J")), 10000);
        QString error;
        QVERIFY2(m_keyboard->sendChord({Qt::ControlModifier | Qt::AltModifier, 'j'}, &error),
                 qPrintable(error));
        WAIT_FOR_KWIN(barsOf(resident.pid()), focusedBar, 10000);
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
        WAIT_FOR_KWIN(barsOf(resident.pid()), noBar, 10000);

        QCOMPARE(resident.runCommand({QStringLiteral("quit")}).exitCode, 0);
        QVERIFY(resident.waitForExit());
    }
};

int main(int argc, char *argv[])
{
    // This process types into XWayland windows with xdotool (CTest chooses
    // the offscreen platform).
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    PlasmaRoadTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_plasma_road.moc"

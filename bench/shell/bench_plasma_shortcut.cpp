// The shortcut on KDE Plasma's compositor: from a key press sent through the
// desktop's RemoteDesktop portal to the bar's window active, as KWin reports
// it (a KWin script stamps each activation with the wall clock, in
// milliseconds, the clock the press is stamped with). The real `wrenlark`
// runs with the shortcut it takes on its first start there (Ctrl+Alt+Space,
// through KDE's shortcut service); the same key closes the bar again. Runs
// inside tests/support/kde-session; see bench/README.md. Not a test.
#include "ResidentApp.h"
#include "ShortcutPresses.h"
#include "core/support/FileLogger.h"
#include "platform/linux/keys/RemoteDesktopPortalKeys.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {

// Receives KWin's activations: the process of the active window (0: none)
// and when it became active.
class Activations : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.wrenlark.Bench.Activations")

public:
    qint64 pid = 0;
    qint64 at = 0;

public Q_SLOTS:
    // As text: a script's numbers reach D-Bus as doubles or integers.
    Q_SCRIPTABLE void activated(const QString &activePid, const QString &milliseconds)
    {
        pid = activePid.toLongLong();
        at = milliseconds.toLongLong();
    }
};

const char script[] = R"(
function report(w) {
    callDBus("%1", "/activations", "dev.wrenlark.Bench.Activations", "activated",
             String(w ? w.pid : 0), String(Date.now()));
}
(workspace.windowActivated || workspace.clientActivated).connect(report);
)";

bool loadScript(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage load = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
        QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("loadScript"));
    load << path << QStringLiteral("wrenlark-bench-activations");
    const int id = bus.call(load).arguments().value(0).toInt();
    if (id < 0)
        return false;
    // KWin 5 puts a loaded script at /N, KWin 6 at /Scripting/ScriptN.
    for (const QString &object :
         {QStringLiteral("/%1").arg(id), QStringLiteral("/Scripting/Script%1").arg(id)})
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), object,
                                                QStringLiteral("org.kde.kwin.Script"),
                                                QStringLiteral("run")));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Wrenlark's code in this process logs to the log file, as in the
    // application, not to standard error.
    FileLogger::installMessageSink();
    ShortcutPresses::useBinary(WRENLARK_BINARY);
    QCoreApplication app(argc, argv);
    const int presses = ShortcutPresses::count(app.arguments());
    ResidentApp wrenlark;
    if (!ShortcutPresses::start(wrenlark, "bench_plasma_shortcut"))
        return 1;
    if (!QTest::qWaitFor(
            [&] {
                return wrenlark.log().contains(
                    QStringLiteral("kglobalaccel bound toggleWrenlark to Ctrl+Alt+Space"));
            },
            20000)) {
        std::fprintf(stderr, "bench_plasma_shortcut: Ctrl+Alt+Space was not bound\n");
        return 1;
    }

    Activations activations;
    QDBusConnection::sessionBus().registerObject(QStringLiteral("/activations"), &activations,
                                                 QDBusConnection::ExportScriptableSlots);
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("activations.js")));
    const QByteArray source =
        QString::fromLatin1(script).arg(QDBusConnection::sessionBus().baseService()).toUtf8();
    const bool written = file.open(QIODevice::WriteOnly) && file.write(source) == source.size();
    file.close();
    if (!written || !loadScript(file.fileName())) {
        std::fprintf(stderr, "bench_plasma_shortcut: KWin did not load the script\n");
        return 1;
    }

    RemoteDesktopPortalKeys keyboard(folder.filePath(QStringLiteral("token")));
    keyboard.startSession();
    if (!QTest::qWaitFor([&] { return keyboard.isAvailable(); }, 10000)) {
        std::fprintf(stderr, "bench_plasma_shortcut: no RemoteDesktop session\n");
        return 1;
    }
    // The first key of a session may be lost; this one changes nothing.
    keyboard.sendChord({Qt::NoModifier, 0xffe1});
    QTest::qWait(300);
    const KeyChord shortcut{Qt::ControlModifier | Qt::AltModifier, 0x20};
    QList<double> opens;
    int failures = 0;
    for (int i = 0; i < presses; ++i) {
        const qint64 pressedAt = QDateTime::currentMSecsSinceEpoch();
        keyboard.sendChord(shortcut);
        if (!QTest::qWaitFor([&] { return activations.pid == wrenlark.pid(); }, 5000)) {
            ++failures;
            continue;
        }
        opens << double(activations.at - pressedAt);
        keyboard.sendChord(shortcut);
        (void)QTest::qWaitFor([&] { return activations.pid != wrenlark.pid(); }, 5000);
        QTest::qWait(100);
    }
    ShortcutPresses::print("KDE Plasma (KWin)", opens, failures);
    return 0;
}

#include "bench_plasma_shortcut.moc"

// bench_selection [RUNS]
//
// Starts mousepad (GTK 3) and the Qt 6 test editor, selects a word in each
// and times reading it, strategy by strategy, through the real selection
// service: AT-SPI alone, the PRIMARY selection alone, and the clipboard probe
// alone. Prints the median, the 90th percentile and the first (cold) read in
// milliseconds, and how many copy keystrokes the probe typed per read.
// Needs an X11 desktop with the AT-SPI bus enabled (run it under
// tests/support/desktop-session).
#include "core/desktop/DesktopServices.h"
#include "core/support/FileLogger.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/selection/ClipboardProbe.h"
#include "platform/linux/selection/LinuxSelectionService.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {

QTextStream out(stdout);

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool xdotool(const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(10000))
        return false;
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return process.exitCode() == 0;
}

struct Editor
{
    QString name;
    std::unique_ptr<QProcess> process;
    QString window;
    QString expected;
};

std::unique_ptr<Editor> launch(const QString &name, const QString &program,
                               const QStringList &arguments, const QString &expected)
{
    auto editor = std::make_unique<Editor>();
    editor->name = name;
    editor->expected = expected;
    editor->process = std::make_unique<QProcess>();
    editor->process->start(program, arguments);
    if (!editor->process->waitForStarted(5000))
        return nullptr;
    for (int attempt = 0; attempt < 100 && editor->window.isEmpty(); ++attempt) {
        settle(100);
        QString windows;
        xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                 QString::number(editor->process->processId())},
                &windows);
        editor->window = windows.section(u'\n', -1);
    }
    if (editor->window.isEmpty())
        return nullptr;
    settle(300);
    return editor;
}

bool selectLastWord(const Editor &editor)
{
    return xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), editor.window}) &&
           xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("20"),
                    QStringLiteral("ctrl+End"), QStringLiteral("shift+Left"),
                    QStringLiteral("shift+Left"), QStringLiteral("shift+Left"),
                    QStringLiteral("shift+Left"), QStringLiteral("shift+Left")});
}

struct Figures
{
    double median = 0;
    double p90 = 0;
    double first = 0;
    int misses = 0;
};

Figures measure(SelectionService &service, qint32 pid, bool probe, const QString &expected,
                int runs)
{
    QList<double> times;
    Figures figures;
    for (int run = 0; run < runs; ++run) {
        SelectionRequest request;
        request.targetPid = pid;
        request.allowClipboardFallback = probe;
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<SelectionFetch> fetch(service.fetchSelection(request, nullptr));
        QEventLoop loop;
        QObject::connect(fetch.get(), &SelectionFetch::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        const auto &context = fetch->result().context;
        if (!context || context->selectedText != expected)
            ++figures.misses;
        times.append(ms);
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            out << "  run " << run << ": " << QString::number(ms, 'f', 2) << " ms\n";
        // Let a probe put the clipboard back before the next read.
        while (ClipboardProbe::activeCount() > 0)
            settle(10);
    }
    figures.first = times.first();
    std::sort(times.begin(), times.end());
    figures.median = times.at(times.size() / 2);
    figures.p90 = times.at(std::min<qsizetype>(times.size() - 1, times.size() * 9 / 10));
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    // Wrenlark's code in this process logs to the log file, as in the
    // application, not to standard error.
    FileLogger::installMessageSink();
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    prepareLinuxDesktopProcess();
    QApplication app(argc, argv);
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 50;
    LinuxDesktopConnections desktop;
    DesktopServices services = createLinuxDesktopServices(desktop);
    auto *selection = dynamic_cast<LinuxSelectionService *>(services.selection.get());
    if (!services.trust->isTrusted()) {
        QTextStream(stderr) << "the AT-SPI bus is not enabled\n";
        return 1;
    }

    std::vector<std::unique_ptr<Editor>> editors;
    editors.push_back(launch(QStringLiteral("mousepad (GTK 3)"), QStringLiteral("mousepad"),
                             {QStringLiteral("--disable-server")}, QStringLiteral("world")));
#ifdef WRENLARK_TEST_EDITOR
    editors.push_back(launch(QStringLiteral("Qt 6 editor"), QStringLiteral(WRENLARK_TEST_EDITOR),
                             {QStringLiteral("--text"), QStringLiteral("hello world")},
                             QStringLiteral("world")));
#endif
    out << "runs per strategy: " << runs << " (probe: " << std::max(5, runs / 5) << ")\n";
    out << "editor | strategy | median ms | p90 ms | first ms | misses | keystrokes/read\n";
    for (const auto &editor : editors) {
        if (!editor) {
            QTextStream(stderr) << "an editor did not start\n";
            return 1;
        }
        if (editor->name.startsWith(QLatin1String("mousepad"))) {
            xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), editor->window});
            xdotool({QStringLiteral("type"), QStringLiteral("hello world")});
        }
        selectLastWord(*editor);
        const qint32 pid = qint32(editor->process->processId());
        struct Strategy
        {
            const char *name;
            LinuxSelectionService::Strategies strategies;
            bool probe;
        };
        const Strategy strategies[] = {{"AT-SPI", {true, false}, false},
                                       {"PRIMARY", {false, true}, false},
                                       {"clipboard probe", {false, false}, true}};
        for (const Strategy &strategy : strategies) {
            selection->setStrategies(strategy.strategies);
            const int count = strategy.probe ? std::max(5, runs / 5) : runs;
            const int keysBefore = ClipboardProbe::keystrokesSent();
            const Figures figures =
                measure(*selection, pid, strategy.probe, editor->expected, count);
            const double keys = double(ClipboardProbe::keystrokesSent() - keysBefore) / count;
            out << editor->name << " | " << strategy.name << " | "
                << QString::number(figures.median, 'f', 2) << " | "
                << QString::number(figures.p90, 'f', 2) << " | "
                << QString::number(figures.first, 'f', 2) << " | " << figures.misses << " | "
                << QString::number(keys, 'f', 1) << '\n';
            out.flush();
        }
        editor->process->terminate();
        editor->process->waitForFinished(2000);
    }
    return 0;
}

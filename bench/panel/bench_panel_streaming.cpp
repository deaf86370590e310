// A long reply streamed into the visible command bar: CPU, the main thread's
// longest busy stretch (a 1 ms heartbeat timer's largest gap, and the main
// thread's own CPU time within a gap, which a busy machine does not inflate) and the time
// the bar spends on each update of the reply (rendering and measuring), early
// and late in the stream, to see whether it grows with what is shown.
//
// The reply comes from a local OpenAI-compatible server on its own thread,
// through the real provider, AI client and AppState (desktop fakes), into a
// shown CommandPanelController. Everything runs in a temporary home folder.
//
//   bench_panel_streaming [--deltas N] [--markdown] [--per-piece N]
//                         [--piece-delay-ms N] [--throttle-seconds S]
//
// --markdown streams a 50 KB Markdown reply (headings, code, emphasis) in
// 5,000 deltas instead of plain words.

#include "core/session/AppState.h"
#include "core/support/FileLogger.h"
#include "support/AppStateHarness.h"
#include "support/FakePanelWindowSupport.h"
#include "support/TestHttpServer.h"
#include "support/TestSandbox.h"
#include "support/ThreadedTestHttpServer.h"
#include "ui/panel/CommandPanelController.h"
#include "ui/panel/CommandView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

struct Options
{
    int deltas = 100000;
    bool markdown = false;
    int deltasPerPiece = 100;
    int pieceDelayMs = 5;
    double throttleSeconds = AppStateTimings().partialResponseThrottleSeconds;
};

QByteArray delta(const QString &text)
{
    return TestHttpServer::sseData(
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("delta"),
                                             QJsonObject{{QStringLiteral("content"), text}}}}}}});
}

// About 50 KB of the Markdown replies are made of.
QString markdownText()
{
    QString text;
    for (int section = 0; text.size() < 50000; ++section) {
        text += QStringLiteral("## Section %1\n\nThe **main** point is *this*, with `code` "
                               "and a [link](https://example.com).\n\n```cpp\nint value = %1;\n"
                               "std::cout << value << '\\n';\n```\n\n- a list item stays text\n"
                               "1. so does this one\n\n")
                    .arg(section);
    }
    return text.left(50000);
}

QStringList textPieces(const Options &options)
{
    QStringList pieces;
    if (options.markdown) {
        const QString text = markdownText();
        const qsizetype size = text.size() / options.deltas + 1;
        for (qsizetype at = 0; at < text.size(); at += size)
            pieces.append(text.mid(at, size));
        return pieces;
    }
    for (int i = 0; i < options.deltas; ++i)
        pieces.append(QStringLiteral("w%1 ").arg(i % 1000));
    return pieces;
}

TestHttpServer::Response longStream(const Options &options)
{
    QList<QByteArray> writes;
    QByteArray write;
    const QStringList pieces = textPieces(options);
    for (int i = 0; i < pieces.size(); ++i) {
        write += delta(pieces[i]);
        if ((i + 1) % options.deltasPerPiece == 0) {
            writes.append(write);
            write.clear();
        }
    }
    writes.append(write + TestHttpServer::sseData(QByteArrayLiteral("[DONE]")));
    return TestHttpServer::Response::eventStream(writes, options.pieceDelayMs);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The CPU time the calling thread has used: unlike a wall-clock gap, it does
// not count time the thread waited for a core another process held.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double average(const std::vector<double> &values, size_t from, size_t to)
{
    if (to <= from)
        return 0;
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += values[i];
    return sum / double(to - from);
}

int run(const Options &options)
{
    AppStateTimings timings;
    timings.partialResponseThrottleSeconds = options.throttleSeconds;
    AppStateHarness harness(timings);
    AppState &state = harness.state();
    harness.configureApiKeyProvider(QStringLiteral("openai"));

    // Each update's start, taken before the bar's own handler runs.
    QElapsedTimer updateClock;
    QObject::connect(&state, &AppState::responseTextChanged, [&] { updateClock.start(); });

    DesktopServices desktop;
    desktop.panelWindow = std::make_shared<FakePanelWindowSupport>();
    CommandPanelController controller(state, desktop, harness.analytics());
    state.setRequestClose([&] { controller.hide(); });
    harness.applications().setFrontmostPid(AppStateHarness::editorPid);
    controller.show();
    harness.type(QStringLiteral("write a long text"));

    std::vector<double> updateMs;
    QObject::connect(&state, &AppState::responseTextChanged, [&] {
        if (state.isLoading())
            updateMs.push_back(double(updateClock.nsecsElapsed()) / 1e6);
    });

    double longestGap = 0;
    double longestBusy = 0;
    double beatCpu = threadCpuMs();
    QElapsedTimer beat;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double gap = double(beat.nsecsElapsed()) / 1e6;
        const double busy = threadCpuMs() - beatCpu;
        beatCpu += busy;
        longestGap = std::max(longestGap, gap);
        longestBusy = std::max(longestBusy, busy);
        beat.restart();
    });

    QEventLoop loop;
    QObject::connect(&state, &AppState::isLoadingChanged, &loop, [&] {
        if (!state.isLoading())
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
    });
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    beat.start();
    heartbeat.start();
    state.submit(SubmitAction::showOutput);
    loop.exec();
    heartbeat.stop();
    const double cpu = cpuSeconds() - cpuBefore;

    const size_t n = updateMs.size();
    const size_t quarter = std::max<size_t>(1, n / 4);
    std::printf("reply: %lld characters, %s, %d deltas\n",
                static_cast<long long>(state.responseText().size()),
                options.markdown ? "markdown" : "plain words", options.deltas);
    std::printf("stream: %lld ms, CPU %.2f s, longest main-thread gap %.1f ms "
                "(of it busy on the main thread: at most %.1f ms)\n",
                static_cast<long long>(clock.elapsed()), cpu, longestGap, longestBusy);
    std::printf("updates while streaming: %zu; bar time per update: first quarter %.2f ms, "
                "last quarter %.2f ms, max %.2f ms\n",
                n, average(updateMs, 0, quarter), average(updateMs, n - quarter, n),
                n ? *std::max_element(updateMs.begin(), updateMs.end()) : 0.0);
    std::printf("renders %d, measurements %d, reached the visible limit: %s\n",
                controller.view()->renderCount(), controller.view()->measureCount(),
                controller.view()->streamedResponseReachedVisibleLimit() ? "yes" : "no");
    if (const QString status = controller.model().statusMessage(); !status.isEmpty())
        std::fprintf(stderr, "status: %s\n", qPrintable(status));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Wrenlark's code in this process logs to the log file, as in the
    // application, not to standard error.
    FileLogger::installMessageSink();
    auto sandbox = TestSandbox::makeTemporaryHome();
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption deltas(QStringLiteral("deltas"), QStringLiteral("Text deltas."),
                                    QStringLiteral("n"));
    const QCommandLineOption markdown(QStringLiteral("markdown"),
                                      QStringLiteral("Stream a 50 KB Markdown reply."));
    const QCommandLineOption perPiece(QStringLiteral("per-piece"),
                                      QStringLiteral("Deltas per network write."),
                                      QStringLiteral("n"));
    const QCommandLineOption delay(QStringLiteral("piece-delay-ms"),
                                   QStringLiteral("Pause between writes."), QStringLiteral("ms"));
    const QCommandLineOption throttle(QStringLiteral("throttle-seconds"),
                                      QStringLiteral("Shortest interval between updates."),
                                      QStringLiteral("s"));
    parser.addOptions({deltas, markdown, perPiece, delay, throttle});
    parser.process(app);
    Options options;
    options.markdown = parser.isSet(markdown);
    if (options.markdown) {
        options.deltas = 5000;
        options.deltasPerPiece = 5;
    }
    if (parser.isSet(deltas))
        options.deltas = parser.value(deltas).toInt();
    if (parser.isSet(perPiece))
        options.deltasPerPiece = std::max(1, parser.value(perPiece).toInt());
    if (parser.isSet(delay))
        options.pieceDelayMs = parser.value(delay).toInt();
    if (parser.isSet(throttle))
        options.throttleSeconds = parser.value(throttle).toDouble();
    // On a thread of its own, so its writing never counts as main-thread work.
    const ThreadedTestHttpServer server("POST", "/openai/v1/chat", longStream(options));
    writeSessionTestCatalog(server.server());
    return run(options);
}

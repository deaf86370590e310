// How a long streamed reply reaches the command session: how often
// responseText changes, and how long the main thread is kept busy at a time
// while the stream is read, measured by a 1 ms heartbeat timer.
//
// The reply comes from a local HTTP server on its own thread (an
// OpenAI-compatible chat stream), through the real provider, AI client and
// AppState; the desktop services are the in-memory fakes. Everything runs in
// a private temporary home folder.
//
//   bench_session_streaming [--deltas N] [--per-piece N] [--piece-delay-ms N]
//                           [--throttle-seconds S]

#include "core/session/AppState.h"
#include "core/support/FileLogger.h"
#include "support/AppStateHarness.h"
#include "support/TestHttpServer.h"
#include "support/TestSandbox.h"
#include "support/ThreadedTestHttpServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct Options
{
    int deltas = 100000;
    int deltasPerPiece = 100;
    int pieceDelayMs = 5;
    double throttleSeconds = AppStateTimings().partialResponseThrottleSeconds;
};

struct Figures
{
    qint64 streamMilliseconds = 0;
    qsizetype finalLength = 0;
    int responseTextChanges = 0;
    double shortestChangeIntervalMs = -1;
    double longestGapMs = 0;
    qint64 longestGapEndedAtMs = 0;
    double gapP99Ms = 0;
    int heartbeats = 0;
};

QByteArray delta(int index)
{
    const QString text = QStringLiteral("w%1 ").arg(index % 1000);
    return TestHttpServer::sseData(
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("delta"),
                                             QJsonObject{{QStringLiteral("content"), text}}}}}}});
}

TestHttpServer::Response longStream(const Options &options)
{
    QList<QByteArray> pieces;
    QByteArray piece;
    for (int i = 0; i < options.deltas; ++i) {
        piece += delta(i);
        if ((i + 1) % options.deltasPerPiece == 0) {
            pieces.append(piece);
            piece.clear();
        }
    }
    pieces.append(piece + TestHttpServer::sseData(QByteArrayLiteral("[DONE]")));
    return TestHttpServer::Response::eventStream(pieces, options.pieceDelayMs);
}

Figures run(const Options &options)
{
    AppStateTimings timings;
    timings.partialResponseThrottleSeconds = options.throttleSeconds;
    AppStateHarness harness(timings);
    AppState &state = harness.state();
    harness.configureApiKeyProvider(QStringLiteral("openai"));
    harness.open();
    harness.type(QStringLiteral("write a long text"));

    Figures figures;
    QElapsedTimer clock;
    // (time, length) of every change; the streamed ones are those shorter
    // than the final text.
    std::vector<std::pair<double, qsizetype>> changes;
    QObject::connect(&state, &AppState::responseTextChanged, [&] {
        changes.emplace_back(double(clock.nsecsElapsed()) / 1e6, state.responseText().size());
    });

    std::vector<double> gaps;
    qint64 longestGapEndedAt = 0;
    double longestGap = 0;
    QElapsedTimer beat;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double gap = double(beat.nsecsElapsed()) / 1e6;
        if (gap > longestGap) {
            longestGap = gap;
            longestGapEndedAt = clock.elapsed();
        }
        gaps.push_back(gap);
        beat.restart();
    });

    QEventLoop loop;
    QObject::connect(&state, &AppState::isLoadingChanged, &loop, [&] {
        if (!state.isLoading())
            loop.quit();
    });
    clock.start();
    beat.start();
    heartbeat.start();
    state.submit(SubmitAction::showOutput);
    loop.exec();
    heartbeat.stop();

    figures.streamMilliseconds = clock.elapsed();
    figures.finalLength = state.responseText().size();
    double previous = -1;
    for (const auto &[time, length] : changes) {
        if (length >= figures.finalLength)
            continue;
        ++figures.responseTextChanges;
        if (previous >= 0 && (figures.shortestChangeIntervalMs < 0 ||
                              time - previous < figures.shortestChangeIntervalMs))
            figures.shortestChangeIntervalMs = time - previous;
        previous = time;
    }
    figures.heartbeats = int(gaps.size());
    if (!gaps.empty()) {
        std::sort(gaps.begin(), gaps.end());
        figures.longestGapMs = gaps.back();
        figures.longestGapEndedAtMs = longestGapEndedAt;
        figures.gapP99Ms = gaps[std::min(gaps.size() - 1, size_t(double(gaps.size()) * 0.99))];
    }
    if (!state.status().isNone())
        std::fprintf(stderr, "status: %d %s\n", int(state.status().kind),
                     qPrintable(state.status().message));
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    // Wrenlark's code in this process logs to the log file, as in the
    // application, not to standard error.
    FileLogger::installMessageSink();
    const auto sandbox = TestSandbox::makeTemporaryHome();
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Streams a long reply through the command session."));
    parser.addHelpOption();
    const QCommandLineOption deltasOption(QStringLiteral("deltas"),
                                          QStringLiteral("Streamed pieces of text."),
                                          QStringLiteral("n"), QStringLiteral("100000"));
    const QCommandLineOption perPieceOption(QStringLiteral("per-piece"),
                                            QStringLiteral("Events per network write."),
                                            QStringLiteral("n"), QStringLiteral("100"));
    const QCommandLineOption delayOption(QStringLiteral("piece-delay-ms"),
                                         QStringLiteral("Pause between network writes."),
                                         QStringLiteral("ms"), QStringLiteral("5"));
    const QCommandLineOption throttleOption(
        QStringLiteral("throttle-seconds"),
        QStringLiteral("Interval between responseText updates (0: every piece)."),
        QStringLiteral("s"), QStringLiteral("0.25"));
    parser.addOptions({deltasOption, perPieceOption, delayOption, throttleOption});
    parser.process(app);

    Options options;
    options.deltas = std::max(1, parser.value(deltasOption).toInt());
    options.deltasPerPiece = std::max(1, parser.value(perPieceOption).toInt());
    options.pieceDelayMs = std::max(0, parser.value(delayOption).toInt());
    options.throttleSeconds = std::max(0.0, parser.value(throttleOption).toDouble());

    // On a thread of its own, so its writing never counts as main-thread work.
    const ThreadedTestHttpServer server("POST", "/openai/v1/chat", longStream(options));
    writeSessionTestCatalog(server.server());
    const Figures figures = run(options);

    QTextStream out(stdout);
    out << "deltas=" << options.deltas << " per-piece=" << options.deltasPerPiece
        << " piece-delay-ms=" << options.pieceDelayMs
        << " throttle-seconds=" << options.throttleSeconds << '\n'
        << "stream duration: " << figures.streamMilliseconds << " ms, final text "
        << figures.finalLength << " characters\n"
        << "responseText updates with partial text: " << figures.responseTextChanges
        << " (shortest interval " << QString::number(figures.shortestChangeIntervalMs, 'f', 1)
        << " ms)\n"
        << "main-thread heartbeat (1 ms): " << figures.heartbeats << " beats, longest gap "
        << QString::number(figures.longestGapMs, 'f', 1) << " ms (ending "
        << figures.longestGapEndedAtMs << " ms after submit), 99th percentile "
        << QString::number(figures.gapP99Ms, 'f', 1) << " ms\n";
    return 0;
}

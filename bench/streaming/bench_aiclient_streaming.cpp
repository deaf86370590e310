// The client side of the streaming benchmark: one streamed request through
// AIClient, decoded by the OpenAI chat adapter's chunk decoder, with a
// partial-text callback that does what a caller minimally does (keeps the
// text). Prints one line of figures; CPU time and peak memory are the whole
// process's (getrusage).
//
//   bench_aiclient_streaming <url> [--decoder adapter|json]

#include "core/ai/AIClient.h"
#include "core/providers/OpenAIChatAdapter.h"
#include "core/support/FileLogger.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <sys/resource.h>

namespace {

// The smallest decoder of the same chunk shape, to tell the client's cost
// from the adapter's.
AIDecodeResult decodeWithQJsonDocument(QByteArrayView payload)
{
    const QJsonObject choice = QJsonDocument::fromJson(payload.toByteArray())
                                   .object()
                                   .value(QLatin1String("choices"))
                                   .toArray()
                                   .at(0)
                                   .toObject();
    if (choice.isEmpty())
        return AIDecodeResult::undecodable();
    return AIDecodeResult::ofText(
        choice.value(QLatin1String("delta")).toObject().value(QLatin1String("content")).toString());
}

double milliseconds(const timeval &time)
{
    return time.tv_sec * 1000.0 + time.tv_usec / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    // Wrenlark's code in this process logs to the log file, as in the
    // application, not to standard error.
    FileLogger::installMessageSink();
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: bench_aiclient_streaming <url> [--decoder adapter|json]\n");
        return 2;
    }
    const bool plainJson = arguments.contains(QStringLiteral("json"));

    AIClient client;
    AIHttpRequest request;
    request.request = QNetworkRequest(QUrl(arguments.at(1)));
    request.request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.body = R"({"model":"m","stream":true,"messages":[{"role":"user","content":"go"}]})";
    const AIRequestOptions options = AIRequestOptions::standard(
        QStringLiteral("openai"), AIRequestTimeoutRetryPolicy::providerManagedSingleHedge);

    QElapsedTimer clock;
    double firstPartialMs = -1;
    qint64 partials = 0;
    qsizetype lastLength = 0;
    clock.start();
    AIReply *reply = client.performStreamingRequest(
        request, options,
        [&](const QString &textSoFar) {
            if (firstPartialMs < 0)
                firstPartialMs = clock.nsecsElapsed() / 1e6;
            ++partials;
            lastLength = textSoFar.size();
        },
        plainJson ? decodeWithQJsonDocument : &OpenAIChatAdapter::decodeStreamChunk);
    QObject::connect(reply, &AIReply::finished, &app, &QCoreApplication::quit);
    app.exec();
    const double wallMs = clock.nsecsElapsed() / 1e6;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (reply->state() != AIReply::State::succeeded) {
        std::fprintf(stderr, "request failed: %s\n",
                     qPrintable(reply->error() ? reply->error()->errorDescription() : QString()));
        return 1;
    }
    std::printf("first_partial_ms=%.1f stream_ms=%.1f cpu_ms=%.0f peak_rss_mb=%.1f partials=%lld "
                "chars=%lld last_partial_chars=%lld\n",
                firstPartialMs, wallMs, milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime),
                usage.ru_maxrss / 1024.0, partials, qlonglong(reply->text().size()),
                qlonglong(lastLength));
    delete reply;
    return 0;
}

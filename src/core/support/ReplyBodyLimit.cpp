#include "core/support/ReplyBodyLimit.h"

#include <QNetworkReply>

namespace {

constexpr char limitProperty[] = "wrenlarkBodyLimit";
constexpr char exceededProperty[] = "wrenlarkBodyLimitExceeded";

} // namespace

namespace ReplyBodyLimit {

void apply(QNetworkReply *reply, qint64 maximumBytes)
{
    reply->setProperty(limitProperty, maximumBytes);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply, maximumBytes](qint64 received, qint64) {
                         if (received <= maximumBytes || !reply->isRunning())
                             return;
                         reply->setProperty(exceededProperty, true);
                         reply->abort();
                     });
}

bool wasExceeded(const QNetworkReply &reply)
{
    // A fast server may have sent all of it before the progress was seen.
    return reply.property(exceededProperty).toBool() ||
           reply.bytesAvailable() > reply.property(limitProperty).toLongLong();
}

} // namespace ReplyBodyLimit

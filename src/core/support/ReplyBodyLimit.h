#pragma once

#include <QtGlobal>

class QNetworkReply;

// A bound on the body of an answer that is read whole: Qt keeps all of it in
// memory until it is read, however long the server goes on sending.
namespace ReplyBodyLimit {

// Aborts `reply` once more than `maximumBytes` of its body arrived.
void apply(QNetworkReply *reply, qint64 maximumBytes);
// Whether `reply` ended because its body passed the bound, or holds more
// than the bound (it arrived before the transfer could be stopped).
bool wasExceeded(const QNetworkReply &reply);

} // namespace ReplyBodyLimit

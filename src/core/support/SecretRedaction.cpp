#include "core/support/SecretRedaction.h"

#include <QByteArray>
#include <QUrl>
#include <algorithm>

namespace {

QStringList encodings(const QString &secret)
{
    const QByteArray utf8 = secret.toUtf8();
    const QString percent = QString::fromLatin1(QUrl::toPercentEncoding(secret));
    QString percentLower;
    for (qsizetype i = 0; i < percent.size(); ++i) {
        const bool hexDigit =
            (i >= 1 && percent.at(i - 1) == u'%') || (i >= 2 && percent.at(i - 2) == u'%');
        percentLower.append(hexDigit ? percent.at(i).toLower() : percent.at(i));
    }
    QString jsonEscaped = secret;
    jsonEscaped.replace(u'/', QStringLiteral("\\/"));
    QStringList all{
        secret,
        percent,
        percentLower,
        jsonEscaped,
        QString::fromLatin1(utf8.toBase64()),
        QString::fromLatin1(utf8.toBase64(QByteArray::OmitTrailingEquals)),
        QString::fromLatin1(
            utf8.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)),
    };
    all.removeDuplicates();
    // Longest first, so that an encoding containing another goes whole.
    std::sort(all.begin(), all.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    return all;
}

} // namespace

namespace SecretRedaction {

QString redact(const QString &text, const QStringList &secrets)
{
    QString redacted = text;
    for (const QString &secret : secrets) {
        if (secret.size() < minimumSecretLength)
            continue;
        for (const QString &encoding : encodings(secret))
            redacted.replace(encoding, placeholder);
    }
    return redacted;
}

} // namespace SecretRedaction

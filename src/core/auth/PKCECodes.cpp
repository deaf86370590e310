#include "core/auth/PKCECodes.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {

__extension__ using UInt128 = unsigned __int128;

const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
constexpr quint64 alphabetSize = sizeof(alphabet) - 1;

constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

// A uniform index below `bound`: the high half of a 64x64-bit product, with
// the few low halves that would favour some indices redrawn (Lemire).
quint64 uniformIndex(quint64 bound)
{
    const quint64 threshold = (0 - bound) % bound;
    for (;;) {
        const UInt128 product = UInt128(QRandomGenerator::system()->generate64()) * bound;
        if (static_cast<quint64>(product) >= threshold)
            return static_cast<quint64>(product >> 64);
    }
}

} // namespace

PKCECodes PKCECodes::generate()
{
    const QString verifier = randomString(verifierLength);
    return {verifier, challenge(verifier)};
}

QString PKCECodes::randomString(int length)
{
    QString text;
    text.reserve(length);
    for (int i = 0; i < length; ++i)
        text.append(QLatin1Char(alphabet[uniformIndex(alphabetSize)]));
    return text;
}

QString PKCECodes::challenge(const QString &verifier)
{
    const QByteArray digest =
        QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(base64url));
}

QString generateState()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / int(sizeof(quint32)));
    return QString::fromLatin1(bytes.toBase64(base64url));
}

#pragma once

#include <QString>
#include <QStringList>

// Removes credentials from texts built from a server's words (an error body
// may quote the key it was sent). Each secret is looked for as it is and in
// the encodings it may have travelled in or been echoed back in: percent-
// encoded (either case of hex digits), Base64, Base64url and JSON-escaped.
namespace SecretRedaction {

inline const QString placeholder = QStringLiteral("[redacted]");

// Secrets shorter than this are not looked for: they would match ordinary
// words, and no provider issues them.
inline constexpr qsizetype minimumSecretLength = 4;

QString redact(const QString &text, const QStringList &secrets);

} // namespace SecretRedaction

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The text of `bytes` when they are valid UTF-8; nothing otherwise (never a
// text with replacement characters standing in for bad bytes).
std::optional<QString> decodeUtf8Strictly(const QByteArray &bytes);

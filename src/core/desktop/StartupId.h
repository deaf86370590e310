#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <algorithm>

namespace StartupId {

// The X server time a startup-notification id ends with ("…_TIME1234"); 0
// without one. Read without a regular expression, which would load PCRE at
// the first `wrenlark toggle`.
inline quint32 timestamp(const QByteArray &startupId)
{
    const qsizetype marker = startupId.lastIndexOf("_TIME");
    if (marker < 0)
        return 0;
    const QByteArray digits = startupId.sliced(marker + 5);
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isDigit))
        return 0;
    return digits.toUInt();
}

} // namespace StartupId

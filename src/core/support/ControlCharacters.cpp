#include "core/support/ControlCharacters.h"

#include <algorithm>

namespace ControlCharacters {

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e) ||
           (u >= 0x2066 && u <= 0x2069);
}

QString stripped(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (!isControl(c) || c == u'\n' || c == u'\t')
            result.append(c);
    }
    return result;
}

QString escaped(const QString &text)
{
    const auto needsEscape = [](QChar c) { return isControl(c) && c != u'\n' && c != u'\t'; };
    if (std::none_of(text.cbegin(), text.cend(), needsEscape))
        return text;
    QString result;
    result.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (!needsEscape(c))
            result.append(c);
        else if (c == u'\r')
            result.append(QStringLiteral("\\r"));
        else if (c.unicode() <= 0xff)
            result.append(QStringLiteral("\\x%1").arg(uint(c.unicode()), 2, 16, QLatin1Char('0')));
        else
            result.append(QStringLiteral("\\u%1").arg(uint(c.unicode()), 4, 16, QLatin1Char('0')));
    }
    return result;
}

} // namespace ControlCharacters

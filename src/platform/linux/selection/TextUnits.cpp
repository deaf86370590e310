#include "platform/linux/selection/TextUnits.h"

namespace {

// Index in UTF-16 units of code point number `codePoints`; -1 past the end.
qsizetype utf16Index(const QString &text, qint64 codePoints)
{
    qsizetype index = 0;
    for (qint64 seen = 0; seen < codePoints; ++seen) {
        if (index >= text.size())
            return -1;
        index += (text.at(index).isHighSurrogate() && index + 1 < text.size() &&
                  text.at(index + 1).isLowSurrogate())
                     ? 2
                     : 1;
    }
    return index;
}

} // namespace

namespace TextUnits {

qint64 length(const QString &text, TextUnit unit)
{
    if (unit == TextUnit::utf16)
        return text.size();
    qint64 count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text.at(i).isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate()))
            ++count;
    }
    return count;
}

QString slice(const QString &text, qint64 start, qint64 count, TextUnit unit)
{
    if (start < 0 || count < 0 || start + count > length(text, unit))
        return {};
    if (unit == TextUnit::utf16)
        return text.mid(qsizetype(start), qsizetype(count));
    const qsizetype begin = utf16Index(text, start);
    const qsizetype end = utf16Index(text, start + count);
    if (begin < 0 || end < 0)
        return {};
    return text.mid(begin, end - begin);
}

int insertionLength(const QString &text, TextUnit unit)
{
    return unit == TextUnit::utf16 ? int(text.size()) : int(text.toUtf8().size());
}

} // namespace TextUnits

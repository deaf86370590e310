#include "core/desktop/PasteboardSnapshot.h"

#include <QStringList>

QByteArray PasteboardSnapshot::data(const QString &mimeType) const
{
    for (const auto &item : items) {
        for (const auto &[type, bytes] : item) {
            if (type == mimeType)
                return bytes;
        }
    }
    return {};
}

QStringList PasteboardSnapshot::formats() const
{
    QStringList result;
    for (const auto &item : items) {
        for (const auto &format : item)
            result.append(format.first);
    }
    return result;
}

#include "core/settings/ApiKeyCheck.h"

#include <algorithm>

namespace ApiKeyCheck {

bool isPlausible(const QString &key)
{
    return std::none_of(key.begin(), key.end(), [](QChar c) {
        return c.isSpace() || c.category() == QChar::Other_Control ||
               c.category() == QChar::Other_Format;
    });
}

} // namespace ApiKeyCheck

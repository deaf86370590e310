#include "core/support/SecretMemory.h"

#include <string.h>

namespace SecretMemory {

void wipe(QByteArray &bytes)
{
    // data() would first copy shared contents, and wipe only that copy.
    if (bytes.isDetached())
        explicit_bzero(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

void wipe(QString &text)
{
    if (text.isDetached())
        explicit_bzero(text.data(), size_t(text.size()) * sizeof(QChar));
    text.clear();
}

} // namespace SecretMemory

#include "core/ai/SinglePassRequestBody.h"

#include <algorithm>
#include <cstring>

SinglePassRequestBody::SinglePassRequestBody(QByteArray bytes, QObject *parent)
    : QIODevice(parent)
    , m_bytes(std::move(bytes))
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 SinglePassRequestBody::bytesAvailable() const
{
    return m_bytes.size() - m_position + QIODevice::bytesAvailable();
}

qint64 SinglePassRequestBody::readData(char *data, qint64 maxSize)
{
    const qint64 count = std::min<qint64>(maxSize, m_bytes.size() - m_position);
    if (count <= 0)
        return m_position < m_bytes.size() ? 0 : -1;
    std::memcpy(data, m_bytes.constData() + m_position, size_t(count));
    m_position += count;
    return count;
}

#include "receivebuffer.h"

#include <algorithm>
#include <utility>

void ReceiveBuffer::append(QByteArrayView bytes)
{
    const qsizetype room = m_capacity - m_bytes.size();
    const qsizetype kept = std::min(room, bytes.size());
    m_bytes.append(bytes.first(kept));
    m_received += bytes.size();
    m_dropped += bytes.size() - kept;
}

QByteArray ReceiveBuffer::take()
{
    return std::exchange(m_bytes, QByteArray());
}

void ReceiveBuffer::clear()
{
    m_bytes.clear();
}

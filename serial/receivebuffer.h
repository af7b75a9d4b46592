#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Received bytes waiting for the next read, up to a fixed capacity. Bytes
// that arrive while it is full are dropped and counted, as a UART overrun
// would drop them, so what is kept stays in order without gaps inside it.
class ReceiveBuffer final
{
public:
    explicit ReceiveBuffer(qsizetype capacity) : m_capacity(capacity) {}

    void append(QByteArrayView bytes);
    [[nodiscard]] QByteArray take();
    void clear();

    [[nodiscard]] qsizetype size() const { return m_bytes.size(); }
    [[nodiscard]] qsizetype capacity() const { return m_capacity; }
    // Totals since construction: everything that arrived, and the part of it
    // that found the buffer full.
    [[nodiscard]] qint64 receivedBytes() const { return m_received; }
    [[nodiscard]] qint64 droppedBytes() const { return m_dropped; }

private:
    QByteArray m_bytes;
    qsizetype m_capacity;
    qint64 m_received = 0;
    qint64 m_dropped = 0;
};

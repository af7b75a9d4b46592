#include "utf8streamdecoder.h"

#include <QStringDecoder>

namespace {

[[nodiscard]] bool isContinuation(char byte)
{
    return (uchar(byte) & 0xC0) == 0x80;
}

// The length of the sequence a byte starts, 0 for a byte that starts none.
[[nodiscard]] qsizetype sequenceLength(char byte)
{
    const uchar lead = uchar(byte);
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Where a sequence that the bytes end in before it is complete begins.
[[nodiscard]] qsizetype incompleteTail(QByteArrayView bytes)
{
    qsizetype start = bytes.size();
    while (start > 0 && bytes.size() - start < 3 && isContinuation(bytes[start - 1]))
        --start;
    if (start == 0)
        return bytes.size();
    const qsizetype lead = start - 1;
    return bytes.size() - lead < sequenceLength(bytes[lead]) ? lead : bytes.size();
}

} // namespace

QString Utf8StreamDecoder::decode(QByteArrayView bytes)
{
    m_pending.append(bytes);
    const qsizetype complete = incompleteTail(m_pending);
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(QByteArrayView(m_pending).first(complete));
    m_pending.remove(0, complete);
    return text;
}

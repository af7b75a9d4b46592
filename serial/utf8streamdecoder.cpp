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

// A few leads narrow the byte after them, ruling out overlong forms,
// surrogates and code points past U+10FFFF.
[[nodiscard]] bool canFollow(char lead, char second)
{
    const uchar next = uchar(second);
    switch (uchar(lead)) {
    case 0xE0:
        return next >= 0xA0 && next <= 0xBF;
    case 0xED:
        return next >= 0x80 && next <= 0x9F;
    case 0xF0:
        return next >= 0x90 && next <= 0xBF;
    case 0xF4:
        return next >= 0x80 && next <= 0x8F;
    default:
        return isContinuation(second);
    }
}

// Where a sequence that the bytes end in before it is complete, and that more
// bytes could still make valid, begins.
[[nodiscard]] qsizetype incompleteTail(QByteArrayView bytes)
{
    qsizetype start = bytes.size();
    while (start > 0 && bytes.size() - start < 3 && isContinuation(bytes[start - 1]))
        --start;
    if (start == 0)
        return bytes.size();
    const qsizetype lead = start - 1;
    const bool incomplete = bytes.size() - lead < sequenceLength(bytes[lead]);
    const bool stillValid = lead + 1 == bytes.size() || canFollow(bytes[lead], bytes[lead + 1]);
    return incomplete && stillValid ? lead : bytes.size();
}

} // namespace

QString Utf8StreamDecoder::decode(QByteArrayView bytes)
{
    // A tail that got nothing more by the next read is shown as invalid then
    // rather than held back until the next message.
    const qsizetype complete = bytes.isEmpty() ? m_pending.size() : incompleteTail(m_pending.append(bytes));
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(QByteArrayView(m_pending).first(complete));
    m_pending.remove(0, complete);
    return text;
}

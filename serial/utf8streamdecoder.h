#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Decodes a byte stream as UTF-8 piece by piece: a character split across two
// pieces comes out whole with the second, invalid bytes become U+FFFD, and a
// byte-order mark is kept as the character it is. QStringDecoder keeps state
// too, but Qt 6.4.2's and 6.8.2's alike lose the byte that follows a cut-off
// sequence, and none can be told that the input has ended.
class Utf8StreamDecoder final
{
public:
    [[nodiscard]] QString decode(QByteArrayView bytes);
    // What is held back, as the input has ended: a cut-off character is U+FFFD.
    [[nodiscard]] QString flush() { return decode({}); }
    void reset() { m_pending.clear(); }

private:
    QByteArray m_pending;
};

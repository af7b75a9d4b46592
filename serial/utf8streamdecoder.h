#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Decodes a byte stream as UTF-8 piece by piece: a character split across two
// pieces comes out whole with the second, invalid bytes become U+FFFD, and a
// byte-order mark is kept as the character it is. QStringDecoder keeps state
// too, but Qt 6.4's loses the byte that follows a cut-off sequence.
class Utf8StreamDecoder final
{
public:
    [[nodiscard]] QString decode(QByteArrayView bytes);
    void reset() { m_pending.clear(); }

private:
    QByteArray m_pending;
};

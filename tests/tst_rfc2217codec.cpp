#include "rfc2217codec.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The stream decoded in pieces of `piece` bytes: its data in hex, each event as "verb option
// payload", and whether it broke the protocol.
QByteArray decoded(const QByteArray &wire, qsizetype piece)
{
    Rfc2217Codec codec;
    QByteArray data;
    std::vector<TelnetEvent> events;
    for (qsizetype at = 0; at < wire.size(); at += piece)
        codec.decode(wire.mid(at, piece), data, events);
    QByteArray text = data.toHex();
    for (const TelnetEvent &event : events)
        text += ' ' + QByteArray::number(event.verb) + ' ' + QByteArray::number(event.option) + ' '
            + event.payload.toHex();
    return (text + (codec.violated() ? " violated" : "")).simplified();
}

} // namespace

// The Telnet stream of an RFC 2217 connection, as the server sends it and as the client sends it.
class TestRfc2217Codec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each stream whole and split after every byte, as a command may arrive in pieces. An answer
    // holds at most 256 bytes, doubled IACs counted once.
    void decode_data()
    {
        // Each stream in hex.
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QByteArray>("decoded");
        const QByteArray x256 = QByteArray(256, 'x').toHex();
        // Data with a doubled IAC, WILL, DO and DONT, NOP, GA and a stray SE, an answer holding
        // a doubled IAC.
        QTest::newRow("everyKind")
            << "61ffff62fffb0178fffd2cfffe03fff1fff9fff0fffa2c65ffffc2fff079"_ba
            << "61ff627879 251 1 253 44 254 3 250 44 65ffc2"_ba;
        QTest::newRow("longestAnswer") << "fffa2c" + x256 + "fff0" << "250 44 " + x256;
        QTest::newRow("tooLongByIac") << "fffa2c" + x256 + "fffffff0" << "violated"_ba;
        QTest::newRow("endless") << "fffa2c" + x256 + "7878" << "violated"_ba;
        QTest::newRow("strayCommandInSub") << "6162fffa2c65fffb01fffa2c65fff06364"_ba
                                           << "6162 violated"_ba;
    }
    void decode()
    {
        QFETCH(QByteArray, wire);
        wire = QByteArray::fromHex(wire);
        QTEST(decoded(wire, wire.size()), "decoded");
        QTEST(decoded(wire, 1), "decoded");
    }

    // Random streams of Telnet's bytes decode alike however they are cut; a command carrying
    // random bytes comes back as it was.
    void fuzz()
    {
        QRandomGenerator random(2217);
        const QByteArray alphabet = QByteArray::fromHex("fffffffafbf0f12c0178");
        for (int round = 0; round < 20000; ++round) {
            QByteArray wire(random.bounded(64), 0);
            for (char &byte : wire)
                byte = alphabet[random.bounded(alphabet.size())];
            QCOMPARE(decoded(wire, 1 + random.bounded(7)), decoded(wire, wire.size() + 1));
            for (char &byte : wire)
                byte = char(random.bounded(256));
            QCOMPARE(decoded(Rfc2217Codec::command(ComPortCommand::SetBaudRate, wire),
                             1 + random.bounded(5)),
                     "250 44 01" + wire.toHex());
        }
    }
};

QTEST_APPLESS_MAIN(TestRfc2217Codec)
#include "tst_rfc2217codec.moc"

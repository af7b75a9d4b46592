#include "rfc2217codec.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Decoded
{
    QByteArray data;
    QStringList events; // "WILL 1", "SB 44 6500"
    bool violated = false;

    friend bool operator==(const Decoded &, const Decoded &) = default;
};

// The stream decoded in pieces of `piece` bytes (0: whole).
Decoded decode(QByteArrayView wire, qsizetype piece = 0)
{
    Rfc2217Codec codec;
    Decoded out;
    std::vector<TelnetEvent> events;
    for (qsizetype at = 0; at < wire.size(); at += piece ? piece : wire.size())
        codec.decode(wire.sliced(at, std::min(piece ? piece : wire.size(), wire.size() - at)),
                     out.data, events);
    const QMap<int, QString> verbs{
        {250, u"SB"_s}, {251, u"WILL"_s}, {252, u"WONT"_s}, {253, u"DO"_s}, {254, u"DONT"_s}};
    for (const TelnetEvent &event : events)
        out.events << (verbs[event.verb] + u' ' + QString::number(event.option) + u' '
                       + QString::fromLatin1(event.payload.toHex()))
                          .trimmed();
    out.violated = codec.violated();
    return out;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int value : values)
        out.append(char(value));
    return out;
}

} // namespace

// The Telnet stream of an RFC 2217 connection, as the server sends it and as the client sends it.
class TestRfc2217Codec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each stream whole and split after every byte: a command may arrive in pieces.
    void decode_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("violated");
        const QByteArray answer = bytes({255, 250, 44, 101, 0, 1, 0xc2, 0, 255, 240});
        QTest::newRow("data") << "abc"_ba
                              << "abc"_ba << u""_s << false;
        QTest::newRow("doubledIac") << bytes({'a', 255, 255, 'b', 255, 255})
                                    << bytes({'a', 255, 'b', 255}) << u""_s << false;
        QTest::newRow("negotiation") << bytes({255, 251, 1, 'x', 255, 253, 44, 255, 254, 3})
                                     << "x"_ba << u"WILL 1,DO 44,DONT 3"_s << false;
        QTest::newRow("answer") << answer << ""_ba << u"SB 44 650001c200"_s << false;
        QTest::newRow("iacInAnswer")
            << bytes({255, 250, 44, 107, 255, 255, 255, 240}) << ""_ba << u"SB 44 6bff"_s << false;
        QTest::newRow("nopGaSeIgnored")
            << bytes({255, 241, 'x', 255, 249, 255, 240, 'y'}) << "xy"_ba << u""_s << false;
        QTest::newRow("longestAnswer")
            << bytes({255, 250, 44}) + QByteArray(256, 'x') + bytes({255, 240}) << ""_ba
            << u"SB 44 "_s + QString::fromLatin1(QByteArray(256, 'x').toHex()) << false;
        QTest::newRow("tooLong") << bytes({255, 250, 44}) + QByteArray(257, 'x') + bytes({255, 240})
                + "z"_ba
                                 << ""_ba << u""_s << true;
        QTest::newRow("tooLongByIac")
            << bytes({255, 250, 44}) + QByteArray(256, 'x') + bytes({255, 255, 255, 240}) << ""_ba
            << u""_s << true;
        QTest::newRow("endless") << bytes({255, 250, 44}) + QByteArray(1 << 20, 'x') << ""_ba
                                 << u""_s << true;
        QTest::newRow("strayCommandInSub")
            << "ab"_ba + bytes({255, 250, 44, 101, 255, 251, 1}) + answer + "cd"_ba
            << "ab"_ba << u""_s << true;
    }
    void decode()
    {
        QFETCH(QByteArray, wire);
        for (const qsizetype piece : {qsizetype(0), qsizetype(1)}) {
            const Decoded decoded = ::decode(wire, piece);
            QTEST(decoded.data, "data");
            QTEST(decoded.events.join(u','), "events");
            QTEST(decoded.violated, "violated");
        }
    }

    void encode()
    {
        QCOMPARE(Rfc2217Codec::escaped("a\xff"
                                       "b\xff"_ba),
                 "a\xff\xff"
                 "b\xff\xff"_ba);
        QCOMPARE(Rfc2217Codec::negotiation(telnet::will, telnet::comPort), bytes({255, 251, 44}));
        QCOMPARE(Rfc2217Codec::command(ComPortCommand::SetBaudRate, bytes({0, 1, 0xc2, 0})),
                 bytes({255, 250, 44, 1, 0, 1, 0xc2, 0, 255, 240}));
        QCOMPARE(Rfc2217Codec::command(ComPortCommand::SetModemStateMask, bytes({255})),
                 bytes({255, 250, 44, 11, 255, 255, 255, 240}));
    }

    // A fixed-seed mutational loop over valid streams: however a stream is cut into pieces it
    // decodes alike, answers stay bounded and no byte appears from nowhere; escaped data comes back
    // as it was.
    void fuzz()
    {
        QRandomGenerator random(2217);
        const QList<QByteArray> seeds{bytes({255, 250, 44, 107, 255, 255, 255, 240}),
                                      bytes({255, 251, 1, 255, 253, 44}), "data\xff\xff"_ba,
                                      bytes({255, 250, 44, 101, 0, 1, 0xc2, 0, 255, 240})};
        const int rounds = 20000;
        for (int round = 0; round < rounds; ++round) {
            QByteArray wire;
            while (wire.size() < int(random.bounded(64)))
                wire += seeds[random.bounded(seeds.size())];
            for (int mutation = random.bounded(8); mutation > 0 && !wire.isEmpty(); --mutation) {
                const qsizetype at = random.bounded(wire.size());
                const char any = char(random.bounded(256));
                switch (random.bounded(4)) {
                case 0:
                    wire[at] = any;
                    break;
                case 1:
                    wire.insert(at, char(255));
                    break;
                case 2:
                    wire.remove(at, random.bounded(4));
                    break;
                default:
                    wire.insert(at,
                                wire.sliced(at, random.bounded(wire.size() - at))
                                    .repeated(random.bounded(20)));
                }
            }
            const Decoded whole = ::decode(wire);
            QVERIFY(whole.data.size() <= wire.size());
            QVERIFY(std::all_of(whole.events.begin(), whole.events.end(),
                                [](const QString &e) { return e.size() < 600; }));
            QCOMPARE(::decode(wire, 1 + random.bounded(7)), whole);
            QByteArray data(random.bounded(32), Qt::Uninitialized);
            std::generate(data.begin(), data.end(),
                          [&random] { return char(random.bounded(256)); });
            QCOMPARE(::decode(Rfc2217Codec::escaped(data), 1 + random.bounded(5)).data, data);
        }
    }
};

QTEST_APPLESS_MAIN(TestRfc2217Codec)
#include "tst_rfc2217codec.moc"

#include "linesettings.h"
#include "portmapping.h"
#include "remotedescription.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// What the user may type, as the serial port reads it: a channel's line settings and handshaking;
// and COM numbers that stand for ports served over the network: the address typed or stored, the
// user's and the system's files, and how a box describes such a port.
class TestPortMapping : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Line settings and handshaking read as typed but for the parity letter's case, and blanks and
    // a plus sign around a number; texts refused, read as nothing. A row's tag is its text.
    void lineSettings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");
        const QString texts[] = {
            u"4800,S,6,1.5|2147483647,M,5,1|110,E,8,2| +1 |-1"_s,
            u"|9600,n,8|9600,n,8,1,1|9600, n,8,1|9600,n,8,1 |09600,n,8,1|-9600,n,8,1|"
            "2147483648,n,8,1|9600,x,8,1|9600,n,4,1|9600,n,9,1|9600,n,8,3|2.0|2147483648"_s,
        };
        for (int refused = 0; refused < 2; ++refused)
            for (const QString &text : texts[refused].split(u'|'))
                QTest::addRow(refused ? "refused:%s" : "%s", qPrintable(text))
                    << text << (refused ? QString() : text.trimmed().remove(u'+').toLower());
    }
    void lineSettings()
    {
        QFETCH(QString, text);
        const auto settings = parseLineSettings(text);
        const auto handshaking = parseHandshakingText(text);
        QTEST(settings ? formatLineSettings(*settings)
                       : handshaking ? QString::number(*handshaking) : QString(),
              "read");
    }

    // An address as typed, and as it is typed back or what is wrong with it: blanks around it and
    // the scheme's case do not count; a host in brackets is IPv6; 1025 characters are too many.
    // (A missing port and the wrong scheme are what the dialog and the user's file show.)
    void address_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed");
        const QStringView rows[][2] = {
            {u" RFC2217+TLS://H-1.x:2217?ca=C:\\c 1 ", u"rfc2217+tls://H-1.x:2217?ca=C:\\c 1"},
            {u"  ", u"адрес не указан"},
            {u"rfc2217://h:65536", u"порт — число от 1 до 65535"},
            {u"rfc2217://::1:7", u"адрес IPv6 пишется в квадратных скобках: [::1]"},
            {u"rfc2217://<b>x</b>:1", u"недопустимое имя сервера"},
            {u"rfc2217://h:1?ca=c", u"файл ca= задаётся только для rfc2217+tls://"},
            {u"rfc2217+tls://h:1?ca=c\nc", u"после ? допустимо только ca=файл"},
        };
        for (const auto &[text, parsed] : rows)
            QTest::newRow(qPrintable(text.toString())) << text.toString() << parsed.toString();
        QTest::newRow("tooLong") << QString(1025, u'a') << u"адрес длиннее 1024 знаков"_s;
    }
    void address()
    {
        QFETCH(QString, text);
        const RemoteAddressParse parse = RemoteAddressParse::from(text);
        QTEST(parse.address ? parse.address->text() : parse.error, "parsed");
    }

    // The user's entry first, an empty one keeping the number local where the system's maps it;
    // the system's where the user has none. Entries that are not one address: a list, and junk.
    // Only COM1 to COM4 are read or written. Each scope's folder is named by its number (the
    // user's 0).
    void mapping()
    {
        QTemporaryDir dir;
        for (const auto &[scope, text] :
             {std::pair(QSettings::SystemScope,
                        "COM1=rfc2217://s:1\nCOM2=rfc2217://s:2\nCOM3=a, b"_ba),
              {QSettings::UserScope, "COM2=rfc2217://u:2\nCOM4=junk"_ba}}) {
            const QString folder = dir.filePath(QString::number(scope));
            QSettings::setPath(QSettings::IniFormat, scope, folder);
            QDir().mkpath(folder + u"/velmora"_s);
            QFile file(folder + u"/velmora/ports.ini"_s);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[ports]\n" + text + '\n'));
        }
        const auto read = [] {
            QStringList entries;
            for (int number = 0; number <= 5; ++number) {
                const auto entry = PortMapping::read(number);
                entries << (!entry ? u"local"_s : entry->address ? entry->address->text()
                                                                 : entry->error);
            }
            return entries.join(u',');
        };
        QCOMPARE(read(), u"local,rfc2217://s:1,rfc2217://u:2,запись не является строкой,"
                         "адрес начинается с rfc2217:// или rfc2217+tls://,local"_s);
        const RemoteAddress address{true, u"::1"_s, 7, {}};
        QVERIFY(PortMapping::store(3, address) && !PortMapping::store(5, address)
                && !PortMapping::store(0, address));
        QVERIFY(PortMapping::makeLocal(1) && PortMapping::makeLocal(4));
        QCOMPARE(read(), u"local,local,rfc2217://u:2,rfc2217+tls://[::1]:7,local,local"_s);
        QCOMPARE(describeBrokenMapping(3, u"x"_s), u"COM3 — неверный адрес удалённого порта: x"_s);
        QCOMPARE(describeRemotePort(3, u"rfc2217://h:1"_s, PortCore::State::Waiting, u"x"_s),
                 u"COM3 — rfc2217://h:1 — соединение потеряно, ждёт восстановления"_s);
    }
};

QTEST_APPLESS_MAIN(TestPortMapping)
#include "tst_portmapping.moc"

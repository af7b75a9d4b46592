#include "portmapping.h"
#include "remotedescription.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// COM numbers that stand for ports served over the network: the address typed or stored, the user's
// and the system's files, and how a box describes such a port.
class TestPortMapping : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void address_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // the address as typed back, or what is wrong
        QTest::newRow("plain") << u" RFC2217://H-1.x:2217 "_s << u"rfc2217://H-1.x:2217"_s;
        QTest::newRow("ipv6") << u"rfc2217://[::1]:7"_s << u"rfc2217://[::1]:7"_s;
        QTest::newRow("tlsWithCa") << u"rfc2217+tls://h:1?ca=C:\\c 1"_s
                                   << u"rfc2217+tls://h:1?ca=C:\\c 1"_s;
        QTest::newRow("empty") << u"  "_s << u"адрес не указан"_s;
        QTest::newRow("tooLong") << u"rfc2217://"_s + QString(1015, u'a') + u":1"_s
                                 << u"адрес длиннее 1024 знаков"_s;
        QTest::newRow("scheme") << u"telnet://h:1"_s
                                << u"адрес начинается с rfc2217:// или rfc2217+tls://"_s;
        QTest::newRow("noPort") << u"rfc2217://h"_s << u"не указан порт: rfc2217://сервер:порт"_s;
        QTest::newRow("portTooBig") << u"rfc2217://h:65536"_s << u"порт — число от 1 до 65535"_s;
        QTest::newRow("ipv6Bare") << u"rfc2217://::1:7"_s
                                  << u"адрес IPv6 пишется в квадратных скобках: [::1]"_s;
        QTest::newRow("markup") << u"rfc2217://<b>x</b>:1"_s << u"недопустимое имя сервера"_s;
        QTest::newRow("caWithoutTls")
            << u"rfc2217://h:1?ca=c"_s << u"файл ca= задаётся только для rfc2217+tls://"_s;
        QTest::newRow("caControl")
            << u"rfc2217+tls://h:1?ca=\n"_s << u"после ? допустимо только ca=файл"_s;
    }
    void address()
    {
        QFETCH(QString, text);
        const RemoteAddressParse parse = RemoteAddressParse::from(text);
        QTEST(parse.address ? parse.address->text() : parse.error, "parsed");
    }

    // The user's entry first, an empty one keeping the number local where the system's maps it,
    // none at all otherwise; the system's where the user has none.
    void mapping()
    {
        QTemporaryDir dir;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(u"user"_s));
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, dir.filePath(u"system"_s));
        for (const auto &[scope, text] :
             {std::pair(u"system"_s, "COM1=rfc2217://s:1\nCOM2=rfc2217://s:2\nCOM3=a, b"_ba),
              std::pair(u"user"_s, "COM2=rfc2217://u:2\nCOM4=junk"_ba)}) {
            QFile file(dir.filePath(scope + u"/velmora/ports.ini"_s));
            QVERIFY(QDir(dir.path()).mkpath(scope + u"/velmora"_s)
                    && file.open(QIODevice::WriteOnly) && file.write("[ports]\n" + text + '\n'));
        }
        const auto read = [] {
            QStringList entries;
            for (int number = 0; number <= 5; ++number) {
                const std::optional<RemoteAddressParse> entry = PortMapping::read(number);
                entries << (!entry ? u"local"_s : entry->address ? entry->address->text()
                                                                 : entry->error);
            }
            return entries.join(u',');
        };
        QCOMPARE(read(), u"local,rfc2217://s:1,rfc2217://u:2,запись не является строкой,"
                         "адрес начинается с rfc2217:// или rfc2217+tls://,local"_s);
        const RemoteAddress address{true, u"::1"_s, 7, {}};
        QVERIFY(PortMapping::store(3, address) && !PortMapping::store(5, address));
        QVERIFY(PortMapping::makeLocal(1) && PortMapping::makeLocal(4));
        QCOMPARE(read(), u"local,local,rfc2217://u:2,rfc2217+tls://[::1]:7,local,local"_s);
        QFile user(dir.filePath(u"user/velmora/ports.ini"_s));
        QVERIFY(user.open(QIODevice::ReadOnly) && !user.readAll().contains("COM4"));
        QCOMPARE(describeBrokenMapping(3, u"x"_s), u"COM3 — неверный адрес удалённого порта: x"_s);
        QCOMPARE(describeRemotePort(3, u"rfc2217://h:1"_s, PortCore::State::Waiting, u"x"_s),
                 u"COM3 — rfc2217://h:1 — соединение потеряно, ждёт восстановления"_s);
    }
};

QTEST_APPLESS_MAIN(TestPortMapping)
#include "tst_portmapping.moc"

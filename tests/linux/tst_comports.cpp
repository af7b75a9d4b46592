#include "comportmap.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Made-up machines come from tests/support/machine.sh, whose functions the rows call.

class TestComPorts : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_root;

    // Everything the shell printed, with the made-up root taken out.
    QString run(const QString &commands)
    {
        m_root = QDir(m_dir.path()).canonicalPath() + u'/' + QString::fromUtf8(QTest::currentTestFunction()) + QString::fromUtf8(QTest::currentDataTag());
        QProcess shell;
        shell.start(u"sh"_s, {u"-c"_s, u". \"$0\" \"$1\"\n"_s + commands, QString::fromUtf8(MACHINE_FIXTURE), m_root});
        return shell.waitForFinished() ? QString::fromUtf8(shell.readAll()).remove(m_root) : u"no shell"_s;
    }

private Q_SLOTS:
    // The four descriptions are what the boxes tell; each begins with the device that ticking opens, or
    // "COMn" where there is none.
    void numbering_data()
    {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("held"); // what COM1 to COM4 have open, '-' for nothing
        QTest::addColumn<QString>("told"); // COM1 to COM4, the made-up /dev left out
        QTest::newRow("uartUsbAcm") << u"tty ttyS0 0; tty ttyACM0; tty ttyUSB0; tty ttyS2 4"_s << u""_s
            << u"ttyS2 — последовательный порт; ttyUSB0 — последовательный порт; ttyACM0 — последовательный порт; ttyS3 — нет устройства"_s;
        QTest::newRow("linkWins") << u"usb ttyUSB0 FTDI 'FT232R USB UART' A10K2ZQ3; tty ttyUSB1; ln -s ttyUSB0 dev/COM2"_s << u""_s
            << u"ttyUSB1 — последовательный порт; ttyUSB0 — FTDI FT232R USB UART, серийный номер A10K2ZQ3; ttyS2 — нет устройства; ttyS3 — нет устройства"_s;
        QTest::newRow("kindsInOrder") << u"tty ttyACM0; tty ttyUSB9; tty ttyAMA0; tty ttyS1 4; tty ttyS0 4"_s << u""_s
            << u"ttyS0 — последовательный порт; ttyS1 — последовательный порт; ttyAMA0 — последовательный порт; ttyUSB9 — последовательный порт"_s;
        QTest::newRow("numbersNotText") << u"tty ttyUSB10; tty ttyUSB9; tty ttyUSB2"_s << u""_s
            << u"ttyUSB2 — последовательный порт; ttyUSB9 — последовательный порт; ttyUSB10 — последовательный порт; ttyS3 — нет устройства"_s;
        QTest::newRow("fallbackTaken") << u"tty ttyS0 0; tty ttyS1 4; tty ttyS2 0"_s << u""_s
            << u"ttyS1 — последовательный порт; COM2 — нет устройства; ttyS2 — нет устройства; ttyS3 — нет устройства"_s;
        QTest::newRow("ruleWithoutLink") << u"usb ttyUSB0 A '' ''; usb ttyUSB1 B '' ''; : >rules/99-velmora-COM1.rules"_s << u""_s
            << u"COM1 закреплён за отключённым адаптером; ttyUSB0 — A; ttyUSB1 — B; ttyS3 — нет устройства"_s;
        QTest::newRow("danglingLink") << u"tty ttyS0 4; ln -s ttyUSB5 dev/COM3"_s << u""_s
            << u"ttyS0 — последовательный порт; ttyS1 — нет устройства; COM3 закреплён за отключённым адаптером; ttyS3 — нет устройства"_s;
        QTest::newRow("heldElsewhere") << u"usb ttyUSB0 A '' ''; usb ttyUSB1 B '' ''"_s << u"- - ttyUSB0 -"_s
            << u"ttyUSB1 — B; ttyS1 — нет устройства; ttyUSB0 — A; ttyS3 — нет устройства"_s;
        QTest::newRow("linkToHeld") << u"usb ttyUSB0 A '' ''; usb ttyUSB1 B '' ''; ln -s ttyUSB1 dev/COM2"_s << u"ttyUSB1 - - -"_s
            << u"ttyUSB1 — B; COM2 — нет устройства; ttyUSB0 — A; ttyS3 — нет устройства"_s;
        QTest::newRow("twoPortChip") << u"usb ttyUSB0 FTDI FT2232H FT5X 1-4 00; usb ttyUSB1 FTDI FT2232H FT5X 1-4 01"_s << u""_s
            << u"ttyUSB0 — FTDI FT2232H, серийный номер FT5X; ttyUSB1 — FTDI FT2232H, серийный номер FT5X; ttyS2 — нет устройства; ttyS3 — нет устройства"_s;
        QTest::newRow("uartSlots") << u"tty ttyS5 4 pci0000:00/0000:03:00.0; tty ttyS4 4 pci0000:00/0000:03:00.0; tty ttyS1 0 platform/serial8250"_s << u""_s
            << u"ttyS4 — последовательный порт; ttyS5 — последовательный порт; ttyS2 — нет устройства; ttyS3 — нет устройства"_s;
        QTest::newRow("deviceStrings") << uR"x(usb ttyUSB0 "$(printf 'Evil\n<b>\033[2J')" '' "$(printf %070d 0)")x"_s << u""_s
            << u"ttyUSB0 — Evil <b>\uFFFD[2J, серийный номер %1; ttyS1 — нет устройства; ttyS2 — нет устройства; ttyS3 — нет устройства"_s.arg(QString(64, u'0'));
        QTest::newRow("cloneOfPinned") << uR"(usb ttyUSB0 A B 0001; usb ttyUSB1 A B 0001; echo 'ATTRS{serial}=="0001", SYMLINK+="COM1"' >rules/99-velmora-COM1.rules; ./udevadm trigger sys/class/tty/ttyUSB1)"_s
            << u""_s << u"COM1 — правилу закрепления отвечают несколько устройств; ttyS1 — нет устройства; ttyS2 — нет устройства; ttyS3 — нет устройства"_s;
        QTest::newRow("twoLinksOneDevice") << u"usb ttyUSB0 A '' ''; ln -s ttyUSB0 dev/COM2; ln -s ttyUSB0 dev/COM3"_s << u""_s
            << u"ttyS0 — нет устройства; ttyUSB0 — A; COM3 — то же устройство, что COM2; ttyS3 — нет устройства"_s;
        QTest::newRow("console") << u"tty ttyS0 4; tty ttyS1 4; tty ttyS2 4; console tty0 ttyS1 ttyS2; ln -s ttyS2 dev/COM4"_s << u""_s
            << u"ttyS0 — последовательный порт; COM2 — нет устройства; COM3 — нет устройства; ttyS2 — системная консоль"_s;
        QTest::newRow("oddLinks") << uR"x(e=$(printf '\360\237\230\200'); usb ttyUSB0 "$e" "$(printf %063d 0)$e" ''; : >passwd >dev/null; ln -s ../passwd dev/COM1; ln -s COM2 dev/COM2; ln -s null dev/COM3)x"_s
            << u""_s << u"COM1 — нет устройства; COM2 закреплён за отключённым адаптером; COM3 — нет устройства; ttyUSB0 — \U0001F600 %1\U0001F600"_s.arg(QString(63, u'0'));
    }
    void numbering()
    {
        QFETCH(QString, machine);
        QFETCH(QString, held);
        QCOMPARE(run(machine), u""_s);
        ComPortMap::HeldDevices open;
        for (int n = 0; n < 4 && !held.isEmpty(); ++n) {
            if (held.section(u' ', n, n) != u"-"_s)
                open[n] = m_root + u"/dev/"_s + held.section(u' ', n, n);
        }
        QStringList told;
        for (const ComPortMap::ComPort &port : ComPortMap(m_root + u"/dev"_s, m_root + u"/sys"_s, m_root + u"/rules"_s).ports(open)) {
            QVERIFY(port.description.startsWith(port.device.isEmpty() ? u"COM"_s : port.device + u" — "_s));
            told << QString(port.description).remove(m_root + u"/dev/"_s);
        }
        QTEST(told.join(u"; "_s), "told");
    }
};

QTEST_GUILESS_MAIN(TestComPorts)
#include "tst_comports.moc"

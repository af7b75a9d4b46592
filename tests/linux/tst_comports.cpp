#include "comportmap.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

// COM numbering and the boxes' descriptions over made-up machines that machine.sh's functions,
// called by the rows, build. Their nodes are character devices made with mknod.
class TestComPorts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the four boxes tell, COM1 first, the made-up /dev left out: each names the device that
    // ticking its box opens, or "COMn" where there is none.
    void numbering_data()
    {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("told");
        // The devices that COM1, COM2... have open; an empty name for none.
        QTest::addColumn<QStringList>("held");
        const auto row = [](const char *tag, const char *machine, const QString &told,
                            const QStringList &held = {}) {
            QTest::newRow(tag) << QString::fromUtf8(machine) << told << held;
        };
        // Real UARTs (not the empty slot ttyS0), board UARTs, USB adapters, CDC devices, each
        // kind in numeric order.
        row("kindsInOrder",
            "tty ttyACM0; tty ttyUSB10; tty ttyUSB9; tty ttyAMA0; tty ttyS2 4; tty ttyS0 0",
            u"ttyS2 — последовательный порт; ttyAMA0 — последовательный порт; "
            "ttyUSB9 — последовательный порт; ttyUSB10 — последовательный порт"_s);
        // A link takes its device; a rule without its link, a dangling link and a link loop keep
        // their numbers from ttyUSB1.
        row("pinned",
            "usb ttyUSB0 FTDI 'FT232R USB UART' A10K2ZQ3; tty ttyUSB1; "
            ": >rules/99-velmora-COM1.rules; ln -s ttyUSB0 dev/COM2; ln -s ttyUSB5 dev/COM3; "
            "ln -s COM4 dev/COM4",
            u"COM1 закреплён за отключённым адаптером; "
            "ttyUSB0 — FTDI FT232R USB UART, серийный номер A10K2ZQ3; "
            "COM3 закреплён за отключённым адаптером; COM4 закреплён за отключённым адаптером"_s);
        // COM1 holds its device, to which COM2's link leads; COM3 and COM4 link to one device.
        row("heldAndLinked",
            "usb ttyUSB0 A '' ''; usb ttyUSB1 B '' ''; ln -s ttyUSB0 dev/COM2; "
            "ln -s ttyUSB1 dev/COM3; ln -s ttyUSB1 dev/COM4",
            u"ttyUSB0 — A; COM2 — нет устройства; ttyUSB1 — B; COM4 — то же устройство, что COM3"_s,
            {u"ttyUSB0"_s});
        // Two UARTs of a PCI card beside the legacy slot ttyS1, empty; two ports of one FT2232.
        row("cardsAndChips",
            "usb ttyUSB0 FTDI FT2232H FT5X 1-4 00; usb ttyUSB1 FTDI FT2232H FT5X 1-4 01; "
            "tty ttyS5 4 pci0000:00/0000:03:00.0; tty ttyS4 4 pci0000:00/0000:03:00.0; "
            "tty ttyS1 0 platform/serial8250",
            u"ttyS4 — последовательный порт; ttyS5 — последовательный порт; "
            "ttyUSB0 — FTDI FT2232H, серийный номер FT5X; "
            "ttyUSB1 — FTDI FT2232H, серийный номер FT5X"_s);
        // What a device says of itself: one line of at most 64 characters, an emoji being one.
        row("deviceStrings",
            R"x(e=$(printf '\360\237\230\200') evil=$(printf 'Evil\n<b>\033[2J')
                usb ttyUSB0 "$evil" "$(printf %063d 0)$e" "$(printf %070d 0)")x",
            u"ttyUSB0 — Evil <b>\uFFFD[2J %1\U0001F600, серийный номер %2; "
            "ttyS1 — нет устройства; ttyS2 — нет устройства; ttyS3 — нет устройства"_s
                .arg(QString(63, u'0'), QString(64, u'0')));
        // A rule that two clones answer: udev gives the link to whichever came last.
        row("cloneOfPinned", R"(usb ttyUSB0 A B 0001; usb ttyUSB1 A B 0001
                echo 'ATTRS{serial}=="0001", SYMLINK+="COM1"' >rules/99-velmora-COM1.rules)",
            u"COM1 — правилу закрепления отвечают несколько устройств; ttyS1 — нет устройства; "
            "ttyS2 — нет устройства; ttyS3 — нет устройства"_s);
        // The console (ttyS0), never numbered automatically, is described where a link pins it
        // (ttyS3). COM2's fallback ttyS1 is COM1's already; COM3's is an empty slot.
        row("consoleAndFallbacks",
            "tty ttyS0 4; tty ttyS1 4; tty ttyS2 0; tty ttyS3 4; console tty0 ttyS0 ttyS3; "
            "ln -s ttyS3 dev/COM4",
            u"ttyS1 — последовательный порт; COM2 — нет устройства; ttyS2 — нет устройства; "
            "ttyS3 — системная консоль"_s);
        // Only a tty's name: a regular file, a FIFO, another device's node.
        row("notPorts",
            "usb ttyUSB0 FTDI FT232R A1; mkdir elsewhere other; : >elsewhere/ttyUSB0; "
            "mknod other/ttyUSB0 c 1 3; ln -s ../elsewhere/ttyUSB0 dev/COM1; "
            "ln -s ../other/ttyUSB0 dev/COM4; tty ttyS1 4; rm dev/ttyS1; mkfifo dev/ttyS1",
            u"COM1 — нет устройства; ttyS1 — это канал FIFO, а не последовательный порт; "
            "ttyUSB0 — FTDI FT232R, серийный номер A1; COM4 — нет устройства"_s);
    }
    void numbering()
    {
        QFETCH(QString, machine);
        QFETCH(QStringList, held);
        if (::geteuid() != 0)
            QSKIP("needs root: the made-up /dev holds character devices made with mknod");
        const QTemporaryDir root;
        const QString dev = root.path() + u"/dev/"_s;
        QCOMPARE(QProcess::execute(u"sh"_s, {u"-ec"_s, u". \"$0\" \"$1\"\n"_s + machine,
                                             QString::fromUtf8(MACHINE_FIXTURE), root.path()}),
                 0);
        ComPortMap::HeldDevices open;
        for (qsizetype n = 0; n < held.size(); ++n) {
            if (!held[n].isEmpty())
                open[n] = dev + held[n];
        }
        QStringList told;
        const ComPortMap ports(dev.chopped(1), root.path() + u"/sys"_s, root.path() + u"/rules"_s);
        for (ComPortMap::ComPort port : ports.ports(open)) {
            QVERIFY(port.description.startsWith(port.device.isEmpty() ? u"COM"_s
                                                                      : port.device + u" — "_s));
            told << port.description.remove(dev);
        }
        QTEST(told.join(u"; "_s), "told");
    }
};

QTEST_GUILESS_MAIN(TestComPorts)
#include "tst_comports.moc"

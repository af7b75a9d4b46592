#include "comportmap.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Made-up machines are built in shell: "tty NAME [TYPE]" a tty (a UART slot when TYPE is given),
// "usb NAME MAKER MODEL SERIAL" one on a USB adapter (empty for an attribute it lacks), "a ARGS" runs
// the assignment script against the made-up tree with a fake udevadm. The root hub has a serial
// number too, which must never be taken for an adapter's.
constexpr char machineShell[] = R"(exec 2>&1 && mkdir -p "$1" && cd "$1" && script=$2 && mkdir -p dev sys/devices/usb1 rules
echo 0000:00:14.0 >sys/devices/usb1/serial && printf '#!/bin/sh\necho udevadm "$@"\n' >udevadm && chmod +x udevadm
export VELMORA_UDEV_RULES_DIR=$PWD/rules VELMORA_DEV_ROOT=$PWD/dev VELMORA_SYS_ROOT=$PWD/sys VELMORA_UDEVADM=$PWD/udevadm
tty() { mkdir -p sys/class/tty/$1 && : >dev/$1 && { [ -z "$2" ] || echo $2 >sys/class/tty/$1/type; }; }
usb() { u=sys/devices/usb1/1-$((n += 1)); tty $1 && mkdir -p $u/1-$n:1.0/$1 && ln -s $PWD/$u/1-$n:1.0/$1 sys/class/tty/$1/device
    echo 0403 >$u/idVendor; for a in manufacturer product serial; do [ -z "$2" ] || echo "$2" >$u/$a; shift; done; }
a() { "$script" "$@"; echo "exit $?"; }
)";

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
        shell.start(u"sh"_s, {u"-c"_s, QString::fromUtf8(machineShell) + commands, u"sh"_s, m_root, QString::fromUtf8(ASSIGN_COM_SCRIPT)});
        return shell.waitForFinished() ? QString::fromUtf8(shell.readAll()).remove(m_root) : u"no shell"_s;
    }

private Q_SLOTS:
    void numbering_data()
    {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("devices"); // COM1 to COM4; the tooltip of COM1
        QTest::newRow("uartUsbAcm") << u"tty ttyS0 0; tty ttyACM0; tty ttyUSB0; tty ttyS2 4"_s
                                    << u"ttyS2 ttyUSB0 ttyACM0 ttyS3; /dev/ttyS2 — последовательный порт"_s;
        QTest::newRow("linkAndNumbering") << u"usb ttyUSB0 FTDI 'FT232R USB UART' A10K2ZQ3; tty ttyUSB1; ln -s ttyUSB1 dev/COM2"_s
                                          << u"ttyUSB0 ttyUSB1 ttyS2 ttyS3; /dev/ttyUSB0 — FTDI FT232R USB UART, серийный номер A10K2ZQ3"_s;
        QTest::newRow("moreThanFour") << u"tty ttyACM0; tty ttyUSB10; tty ttyUSB9; tty ttyS1 4; tty ttyS0 4"_s
                                      << u"ttyS0 ttyS1 ttyUSB9 ttyUSB10; /dev/ttyS0 — последовательный порт"_s;
    }
    void numbering()
    {
        QFETCH(QString, machine);
        QCOMPARE(run(machine), u""_s);
        const auto ports = ComPortMap(m_root + u"/dev"_s, m_root + u"/sys"_s, m_root + u"/rules"_s).ports();
        const QString devices = QStringList{ports[0].device, ports[1].device, ports[2].device, ports[3].device}.join(u' ');
        QTEST(QString(devices).remove(m_root + u"/dev/"_s) + u"; "_s + QString(ports[0].description).remove(m_root), "devices");
    }

};

QTEST_GUILESS_MAIN(TestComPorts)
#include "tst_comports.moc"

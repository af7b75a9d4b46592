#include "ptymodem.h"
#include "systemports.h"
#include "systemwindow.h"

#include <QtSerialPort>
#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>

using namespace Qt::StringLiterals;

// COM numbering, the ports that follow it and the program's window, on made-up machines that
// machine.sh's functions build, a fresh one for each test.
class TestSystemWindow : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_root;

    static void columns(auto... names) { (QTest::addColumn<QString>(names), ...); }
    static void row(const char *tag, auto... texts)
    {
        (QTest::newRow(tag) << ... << QString::fromUtf8(texts));
    }
    // In the machine's folder, with the paths given as $1...; a command that fails fails the test.
    void run(const QString &commands, const QStringList &paths = {}) const
    {
        const QStringList shell{u"-ec"_s, u"cd $0; . " MACHINE_FIXTURE "; "_s + commands,
                                m_root->path()};
        QCOMPARE(QProcess::execute(u"sh"_s, shell + paths), 0);
    }
    ComPortMap ports() const
    {
        const QString root = m_root->path();
        return ComPortMap(root + u"/dev"_s, root + u"/sys"_s, root + u"/rules"_s);
    }
    // The text, the made-up /dev left out.
    QString shown(QString text) const { return text.remove(m_root->path() + u"/dev/"_s); }

private Q_SLOTS:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("the made-up /dev holds device nodes, which takes root");
    }
    void init() { m_root.emplace(); }

    // What the four boxes tell, COM1 first, the made-up /dev left out: each names the device that
    // opening it opens, or "COMn" where there is none.
    void numbering_data()
    {
        columns("machine", "told");
        // Real UARTs (not the empty slot ttyS0), board UARTs, USB adapters, CDC devices, each
        // kind in numeric order.
        row("kindsInOrder",
            "tty ttyACM0; tty ttyUSB10; tty ttyUSB9; tty ttyAMA0; tty ttyS2 4; tty ttyS0 0",
            "ttyS2 — последовательный порт; ttyAMA0 — последовательный порт; "
            "ttyUSB9 — последовательный порт; ttyUSB10 — последовательный порт");
        // A rule that two clones answer (udev gives its link to whichever came last), which keeps
        // them from COM3; a link to an adapter whose strings are shown
        // as one line of at most 64 characters, an emoji being one; a link loop.
        row("pinned", R"x(usb ttyUSB1 A B 1; usb ttyUSB2 A B 1; ln -s ttyUSB0 dev/COM2
            echo 'ATTRS{serial}=="1"' >rules/99-velmora-COM1.rules; ln -s COM4 dev/COM4
            usb ttyUSB0 "$(printf ' Evil\t\n<b>\033[2J\342\200\256')" \
            000000000000000000000000000000000000000000000000000000000000000😀 \
            00000000000000000000000000000000000000000000000000000000000000000)x",
            "COM1 — правилу закрепления отвечают несколько устройств; ttyUSB0 — Evil <b>�[2J� "
            "000000000000000000000000000000000000000000000000000000000000000😀, серийный номер "
            "0000000000000000000000000000000000000000000000000000000000000000; "
            "ttyS2 — нет устройства; "
            "COM4 закреплён за отключённым адаптером");
        // The console (ttyS0), never numbered automatically, is described where a link pins it
        // (ttyS3). COM2's fallback ttyS1 is COM1's already; COM3's is an empty slot.
        row("consoleAndFallbacks", "tty ttyS0 4; tty ttyS1 4; tty ttyS2 0; tty ttyS3 4; "
            "console tty0 ttyS0 ttyS3; ln -s ttyS3 dev/COM4",
            "ttyS1 — последовательный порт; COM2 — нет устройства; ttyS2 — нет устройства; "
            "ttyS3 — системная консоль");
        // COM1 would fall back to the console, COM3 to a regular file; COM4 links to another
        // device's node that only bears a tty's name.
        row("consoleKeptAndNotPorts", "tty ttyS0 4; console ttyS0; tty ttyX0; : >dev/ttyS2; "
            "mknod ttyX0 c 1 3; ln -s ../ttyX0 dev/COM4",
            "COM1 — ttyS0 служит системной консолью и намеренно не выдаётся; закрепить его всё "
            "же: sudo velmora-assign-com --force COM1 ttyS0; ttyS1 — нет устройства; "
            "ttyS2 — это обычный файл, а не последовательный порт; COM4 — нет устройства");
    }
    void numbering()
    {
        QFETCH(QString, machine);
        run(machine);
        QStringList told;
        for (auto port : ports().ports()) {
            QVERIFY(port.description.startsWith(port.device.isEmpty() ? u"COM"_s
                                                                      : port.device + u" — "_s));
            told << shown(port.description);
        }
        QTEST(told.join(u"; "_s), "told");
    }

    // The window as the program builds it: names from an 8-bit LC_TIME locale (here compared with
    // Qt's own, whose case differs), COM1 an adapter whose maker string is markup, the real
    // message box, COM2 and COM3 /dev/COMn links to one pty.
    void startsAsTheProgramDoes()
    {
        const PtyModem far;
        run(u"usb ttyUSB0 '<b>'; localedef -i ru_RU -f KOI8-R ./koi8"_s);
        qputenv("LOCPATH", QFile::encodeName(m_root->path())), qputenv("LC_TIME", "koi8");
        qunsetenv("LC_ALL");
        const auto window = makeSystemWindow(std::make_unique<SystemPorts>(ports()));
        const auto boxes = window->findChildren<QCheckBox *>(); // Check1 to Check4
        const auto told = [&](int channel) {
            return window->tick(), shown(boxes[channel]->accessibleDescription());
        };
        QVERIFY(window->windowTitle().toLower().endsWith(QLocale(QLocale::Russian)
            .toString(QDate::currentDate(), u"d  MMMM  yyyy года  dddd"_s)));

        QString caption;
        QTimer::singleShot(0, [&] {
            if (QWidget *shown = QApplication::activeModalWidget())
                caption = shown->windowTitle(), shown->close();
        });
        window->showMessage({});
        QCOMPARE(caption, u"Velmora_ru v.1.1"_s);

        // Each tick tells what the new links lead to. Opened, COM2 goes on naming the device it
        // holds after its link is gone, and COM3 names none: it would open that device twice.
        run(u"ln -s $1 dev/COM2; ln -s $1 dev/COM3"_s, {far.slavePath()});
        QTRY_COMPARE(told(2), u"COM3 — то же устройство, что COM2"_s);
        QCOMPARE(shown(boxes[0]->toolTip()), u"<p>ttyUSB0 — &lt;b&gt;</p>"_s);
        boxes[1]->click();
        run(u"rm dev/COM2"_s);
        QCOMPARE(told(1), far.slavePath() + u" — последовательный порт"_s);
        QCOMPARE(told(2), u"COM3 — нет устройства"_s);
    }

    // COM1's adapter ($1) is pulled out while open, and a node with nothing behind it takes its
    // place. The channel waits; given that node, it says why it does not open and waits on. Then
    // the machine is `replug`ged, and COM2, opened before COM1 resumes, opens none of what it
    // holds: never COM1's adapter, and the others have nothing behind their nodes. The adapter
    // is opened again where `replug` brings it back ($2), under whatever name; a stranger never.
    void followsItsDevice_data()
    {
        columns("plugged", "replug");
        // A stranger took the adapter's old name.
        row("newName", "usb ttyUSB0 A B A1 1-3",
            "usb ttyUSB0 A B B2 1-5; usb ttyUSB1 A B A1 1-3; pty ttyUSB1 $2");
        // Plugged in all along: the first port of COM1's two-port adapter, and a clone of that
        // adapter, the same serial number on another USB port.
        row("twins", "usb ttyUSB0 A B F 1-4 01; usb ttyUSB1 A B F 1-4; usb ttyUSB2 A B F 1-5 01",
            "");
        // Without a serial number: one on another USB port, one whose serial number names
        // COM1's port.
        row("noSerial", "usb ttyUSB0 A B '' 1-3",
            "usb ttyUSB0 A B '' 1-5; usb ttyUSB1 A B @1-3 1-3");
        // Serial numbers that differ only after their 64th character, in a control character.
        row("sameWhenShown", "usb ttyUSB0 A B $(printf %070d\001 0)",
            "usb ttyUSB0 A B $(printf %070d\002 0)");
    }
    void followsItsDevice()
    {
        QFETCH(QString, plugged);
        QFETCH(QString, replug);
        PtyModem adapter, returned;
        const QStringList ptys{adapter.slavePath(), returned.slavePath()};
        run(plugged + u"; pty ttyUSB0 $1"_s, ptys);
        SystemPorts system(ports());
        QVERIFY(system.openPort(0));
        adapter.hangUp();
        run(u"rm dev/ttyUSB0; node ttyUSB0"_s);
        const QString waits = u"COM1 — ttyUSB0 отключён, ждёт возвращения"_s;
        QTRY_COMPARE(shown(system.description(0)), waits);
        system.resumeWaiting();
        QCOMPARE(shown(system.description(0)), u"ttyUSB0 — за этим узлом нет устройства"_s);

        run(u"rm dev/ttyUSB0 sys/class/tty/ttyUSB0; "_s + replug, ptys);
        QVERIFY(!system.openPort(1));
        system.resumeWaiting();
        QCOMPARE(shown(system.description(0)), replug.contains(u"$2"_s)
                     ? u"ttyUSB1 — A B, серийный номер A1"_s : waits);
    }

    // Why COM1 would not open ttyUSB0, said until ttyUSB0 is gone. Opened as nobody, as by a user
    // not in dialout; $1 is a pty another program holds open, exclusively, $2 one still locked.
    void refusalSaid_data()
    {
        columns("node", "reason");
        row("noPermission", "chmod 600 dev/ttyUSB0",
            "нет прав на открытие: пользователь должен быть в группе dialout");
        row("busy", "pty ttyUSB0 $1", "занят другой программой");
        row("fifo", "rm dev/ttyUSB0; mkfifo dev/ttyUSB0",
            "это канал FIFO, а не последовательный порт");
        row("linkLoop", "ln -sfn ttyUSB0 dev/ttyUSB0", "ссылки замыкаются в кольцо");
        row("lockedPty", "pty ttyUSB0 $2", "ошибка ввода-вывода");
        row("nodevMount", "",
            "файловая система смонтирована с nodev: устройства на ней не открываются");
    }
    void refusalSaid()
    {
        QFETCH(QString, node);
        QFETCH(QString, reason);
        const QByteArray root = QFile::encodeName(m_root->path());
        // Mounted only once this process is in a mount namespace of its own, whose mounts reach
        // no other.
        QVERIFY(QTest::currentDataTag() != "nodevMount"_ba
                || (::unshare(CLONE_NEWNS) == 0
                    && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
                    && ::mount("tmpfs", root, "tmpfs", MS_NODEV, nullptr) == 0));
        PtyModem held;
        const int locked = ::posix_openpt(O_RDWR | O_NOCTTY);
        const auto done = qScopeGuard([&] { ::close(locked), ::umount2(root, MNT_DETACH); });
        run(u"tty ttyUSB0; chmod 755 .; chmod 666 $1 $2; "_s + node,
            {held.slavePath(), QString::fromLocal8Bit(::ptsname(locked))});
        QSerialPort holder(held.slavePath());
        SystemPorts system(ports());
        QVERIFY(holder.open(QIODevice::ReadWrite) && ::seteuid(65534) == 0);
        const bool opened = system.openPort(0);
        QVERIFY(::seteuid(0) == 0 && !opened);
        QCOMPARE(shown(system.description(0)), u"ttyUSB0 — "_s + reason);
        run(u"rm -r dev/ttyUSB0 sys"_s);
        QTRY_COMPARE(shown(system.description(0)), u"ttyS0 — нет устройства"_s);
    }
};

QTEST_MAIN(TestSystemWindow)
#include "tst_systemwindow.moc"

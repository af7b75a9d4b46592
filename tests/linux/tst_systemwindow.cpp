#include "ptymodem.h"
#include "portcore.h"
#include "systemports.h"
#include "systemwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The program's window over a made-up machine in `dir`, built by machine.sh's `commands` ($2 and $3 are
// `arguments`), with its timer stopped so that the test ticks.
struct MadeUpMachine
{
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window;

    bool run(const QString &commands, const QStringList &arguments = {}) const
    {
        return QProcess::execute(u"sh"_s, QStringList{u"-c"_s, u". \"$0\" \"$1\" && "_s + commands, QString::fromUtf8(MACHINE_FIXTURE), dir.path()} + arguments) == 0;
    }
    void start()
    {
        window = makeSystemWindow(std::make_unique<SystemPorts>(ComPortMap(dir.path() + u"/dev"_s, dir.path() + u"/sys"_s, dir.path() + u"/rules"_s)));
        window->findChild<QTimer *>(u"Timer1"_s)->stop(), window->show();
    }
    QAbstractButton *box(int n) const { return window->findChild<QAbstractButton *>(u"Check%1"_s.arg(n)); }
    void click(const QString &name) const { QTest::mouseClick(window->findChild<QWidget *>(name), Qt::LeftButton, {}, QPoint(6, 8)); }
    // What box n tells after a tick, the made-up root left out.
    QString told(int n) const { return window->tick(), box(n)->accessibleDescription().remove(dir.path()); }
};

} // namespace

class TestSystemWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(u"Fusion"_s); }

    // The window exactly as the program builds it, over a made-up machine: COM1 an adapter with a hostile maker
    // string and no node to open, COM2 a /dev/COM2 link to a pty, names from an 8-bit LC_TIME locale.
    void startsAsTheProgramDoes()
    {
        MadeUpMachine machine;
        const PtyModem far;
        const QString pty = far.slavePath();
        QVERIFY(machine.run(uR"(usb ttyUSB0 '<font size=6>COM1 OK</font>' '' '' && rm dev/ttyUSB0 && ln -s "$2" dev/COM2 &&
            localedef -i ru_RU -f KOI8-R "$1/ru_RU.KOI8-R")"_s, {pty}));
        qputenv("LOCPATH", machine.dir.path().toLocal8Bit()), qputenv("LC_TIME", "ru_RU.KOI8-R"), qunsetenv("LC_ALL");
        machine.start();
        const auto &window = machine.window;
        const QString months[] = {u"Января"_s, u"Февраля"_s, u"Марта"_s, u"Апреля"_s, u"Мая"_s, u"Июня"_s, u"Июля"_s, u"Августа"_s, u"Сентября"_s, u"Октября"_s, u"Ноября"_s, u"Декабря"_s};
        const QString days[] = {u"Понедельник"_s, u"Вторник"_s, u"Среда"_s, u"Четверг"_s, u"Пятница"_s, u"Суббота"_s, u"Воскресенье"_s};
        const QDate today = QDate::currentDate();
        QCOMPARE(window->windowTitle(), u"Brannick       Velmora v.1.1              Сегодня: "_s + u"%1  %2  %3 года  %4"_s.arg(today.day()).arg(months[today.month() - 1]).arg(today.year()).arg(days[today.dayOfWeek() - 1]));
        const auto told = [&machine](int n) {
            const QAbstractButton *box = machine.box(n);
            return QString(box->accessibleDescription() + u" | "_s + box->toolTip()).remove(machine.dir.path());
        };
        QCOMPARE(told(1), u"/dev/ttyUSB0 — <font size=6>COM1 OK</font> | <p>/dev/ttyUSB0 — &lt;font size=6&gt;COM1 OK&lt;/font&gt;</p>"_s);
        QString message;
        QTimer::singleShot(0, this, [&message] {
            auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            message = shown ? (shown->accept(), shown->windowTitle() + u' ' + shown->text()) : u"none"_s;
        });
        machine.click(u"Check1"_s);
        QCOMPARE(message + u' ' + QString::number(machine.box(1)->isChecked()), u"Velmora_ru v.1.1 Порт не найден 0"_s);

        // COM2 opens through its link and goes on naming the device it holds after the link moves on (the
        // end-to-end run sends through such a link).
        machine.click(u"Check2"_s);
        QVERIFY(far.write("OK") == 2 && QFile::remove(machine.dir.path() + u"/dev/COM2"_s) && QFile::link(u"gone"_s, machine.dir.path() + u"/dev/COM2"_s));
        QTRY_COMPARE(window->findChild<PortCore *>(u"MSComm2"_s)->receivedBytes(), 2);
        window->tick();
        QCOMPARE(told(2) + window->findChild<QLineEdit *>(u"Text12"_s)->text(), u"%1 — последовательный порт | <p>%1 — последовательный порт</p>OK"_s.arg(pty));
        machine.click(u"Check2"_s), window->tick();
        QCOMPARE(told(2), u"COM2 закреплён за отключённым адаптером | <p>COM2 закреплён за отключённым адаптером</p>"_s);
    }

    // COM1's adapter (serial A1) is pulled out while its box is ticked, and then a pty plugs in at its
    // name: the same adapter, or another one (serial B2). The box waits, keeping its fields
    // and asking nothing of anyone; its own adapter is opened again within two ticks with the speed and
    // DTR in force before, a stranger never, and the stranger is COM2's to open.
    void followsItsDevice_data()
    {
        QTest::addColumn<QString>("replug");
        QTest::addColumn<QString>("told"); // COM1 and COM2 after the replug
        QTest::newRow("sameAdapter") << u""_s << u"/dev/ttyUSB0 — FTDI FT232R, серийный номер A1 | /dev/ttyS1 — нет устройства"_s;
        QTest::newRow("stranger") << u"echo B2 >sys/class/tty/ttyUSB0/device/../../serial "_s
                                  << u"COM1 — /dev/ttyUSB0 отключён, ждёт возвращения | /dev/ttyUSB0 — FTDI FT232R, серийный номер B2"_s;
    }
    void followsItsDevice()
    {
        QFETCH(QString, replug);
        MadeUpMachine machine;
        auto first = std::make_unique<PtyModem>(), second = std::make_unique<PtyModem>();
        QVERIFY(machine.run(u"usb ttyUSB0 FTDI FT232R A1 && ln -sf \"$2\" dev/ttyUSB0"_s, {first->slavePath()}));
        machine.start();
        machine.click(u"Check1"_s);
        auto *baud = machine.window->findChild<QComboBox *>(u"Combo1"_s);
        baud->setCurrentIndex(7), QTest::keyClick(baud, Qt::Key_Down); // 19200
        machine.click(u"Command3"_s); // DTR
        first->lines() |= TIOCM_CAR;
        QTRY_COMPARE(machine.window->findChild<QLineEdit *>(u"Text2"_s)->text(), (machine.window->tick(), u"True"_s));
        first->hangUp(), first.reset();
        QVERIFY(machine.run(u"rm dev/ttyUSB0 && mv sys/class/tty/ttyUSB0 unplugged"_s));
        QTRY_COMPARE(machine.told(1), u"COM1 — /dev/ttyUSB0 отключён, ждёт возвращения"_s);
        QCOMPARE(machine.told(2), u"/dev/ttyS1 — нет устройства"_s);
        QVERIFY(machine.run(u"mv unplugged sys/class/tty/ttyUSB0 && ln -s \"$2\" dev/ttyUSB0"_s + (replug.isEmpty() ? u""_s : u" && "_s + replug), {second->slavePath()}));
        QTest::qWait(50), machine.told(1); // the second tick since the adapter came back
        QTEST(machine.told(1) + u" | "_s + machine.told(2), "told");
        const bool same = replug.isEmpty();
        QCOMPARE(machine.window->findChild<QLineEdit *>(u"Text2"_s)->text(), same ? u"False"_s : u"True"_s); // kept while away
        QCOMPARE(second->slaveBaudRate() == 19200 && (second->lines() & TIOCM_DTR), same);
        QVERIFY(!same || (second->write("back") == 4 && (QTest::qWait(100), machine.told(1), machine.window->findChild<QLineEdit *>(u"Text3"_s)->text() == u"back"_s)));
        if (!same) { // the stranger is COM2's; unticking ends the wait
            QTimer::singleShot(0, machine.window.get(), [] { if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) shown->accept(); });
            machine.click(u"Check2"_s), machine.click(u"Check1"_s);
            QVERIFY(machine.box(2)->isChecked() && machine.told(1).startsWith(u"/dev/ttyS0"_s));
        }
    }

    // Why a tick would not open: in the box's words until the box is ticked again. The program runs as
    // nobody here, as a user not in dialout would.
    void refusalSaid_data()
    {
        // The node's mode, and whether another program holds it exclusively ("none": no node).
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("told");
        QTest::newRow("noPermission")
            << "600" << "/dev/ttyUSB0 — нет прав на открытие: пользователь должен быть в группе dialout";
        QTest::newRow("busy") << "666,exclusive" << "/dev/ttyUSB0 — занят другой программой";
        QTest::newRow("gone") << "none" << "/dev/ttyUSB0 — нет такого устройства";
    }
    void refusalSaid()
    {
        QFETCH(QString, node);
        QFETCH(QString, told);
        MadeUpMachine machine;
        PtyModem pty;
        QVERIFY(::chmod(QFile::encodeName(machine.dir.path()).constData(), 0755) == 0);
        QVERIFY(machine.run(node == u"none"_s ? u"usb ttyUSB0 FTDI FT232R A1 && ln -sf /nowhere dev/ttyUSB0"_s : u"usb ttyUSB0 FTDI FT232R A1 && ln -sf \"$2\" dev/ttyUSB0 && chmod %1 \"$2\""_s.arg(node.left(3)), {pty.slavePath()}));
        const int holder = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(holder >= 0 && (!node.endsWith(u"exclusive"_s) || ::ioctl(holder, TIOCEXCL) == 0));
        machine.start();
        QString message;
        QTimer::singleShot(0, this, [&message] { auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); message = shown ? (shown->accept(), shown->text()) : u"none"_s; });
        QVERIFY(::seteuid(65534) == 0);
        machine.click(u"Check1"_s);
        QVERIFY(::seteuid(0) == 0);
        ::close(holder);
        QCOMPARE(message + u' ' + machine.told(1), u"Порт не найден "_s + told);
    }
};

QTEST_MAIN(TestSystemWindow)
#include "tst_systemwindow.moc"

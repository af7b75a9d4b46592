#include "qtserialport.h"
#include "systemports.h"
#include "systemwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestSystemWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(u"Fusion"_s); }

    // The window exactly as the program builds it, over a made-up machine: COM1 an adapter with a hostile maker
    // string and no node to open, COM2 a /dev/COM2 link to a pty, names from an 8-bit LC_TIME locale.
    void startsAsTheProgramDoes()
    {
        QTemporaryDir dir;
        const int far = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(::grantpt(far) == 0 && ::unlockpt(far) == 0);
        const QString pty = QString::fromLocal8Bit(::ptsname(far)), machine = uR"(. "$0" "$1" &&
            usb ttyUSB0 '<font size=6>COM1 OK</font>' '' '' && rm dev/ttyUSB0 && ln -s "$2" dev/COM2 && localedef -i ru_RU -f KOI8-R "$1/ru_RU.KOI8-R")"_s;
        QCOMPARE(QProcess::execute(u"sh"_s, {u"-c"_s, machine, QString::fromUtf8(MACHINE_FIXTURE), dir.path(), pty}), 0);
        qputenv("LOCPATH", dir.path().toLocal8Bit()), qputenv("LC_TIME", "ru_RU.KOI8-R"), qunsetenv("LC_ALL");
        const auto window = makeSystemWindow(std::make_unique<SystemPorts>(ComPortMap(dir.path() + u"/dev"_s, dir.path() + u"/sys"_s, dir.path() + u"/rules"_s)));
        window->findChild<QTimer *>(u"Timer1"_s)->stop(), window->show();
        const QString months[] = {u"Января"_s, u"Февраля"_s, u"Марта"_s, u"Апреля"_s, u"Мая"_s, u"Июня"_s, u"Июля"_s, u"Августа"_s, u"Сентября"_s, u"Октября"_s, u"Ноября"_s, u"Декабря"_s};
        const QString days[] = {u"Понедельник"_s, u"Вторник"_s, u"Среда"_s, u"Четверг"_s, u"Пятница"_s, u"Суббота"_s, u"Воскресенье"_s};
        const QDate today = QDate::currentDate();
        QCOMPARE(window->windowTitle(), u"Brannick       Velmora v.1.1              Сегодня: "_s + u"%1  %2  %3 года  %4"_s.arg(today.day()).arg(months[today.month() - 1]).arg(today.year()).arg(days[today.dayOfWeek() - 1]));
        const auto box = [&window](int n) { return window->findChild<QAbstractButton *>(u"Check%1"_s.arg(n)); };
        const auto told = [&](int n) { return QString(box(n)->accessibleDescription() + u" | "_s + box(n)->toolTip()).remove(dir.path()); };
        QCOMPARE(told(1), u"/dev/ttyUSB0 — <font size=6>COM1 OK</font> | <p>/dev/ttyUSB0 — &lt;font size=6&gt;COM1 OK&lt;/font&gt;</p>"_s);
        QString message;
        QTimer::singleShot(0, this, [&message] {
            auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            message = shown ? (shown->accept(), shown->windowTitle() + u' ' + shown->text()) : u"none"_s;
        });
        QTest::mouseClick(box(1), Qt::LeftButton, {}, QPoint(6, 8));
        QCOMPARE(message + u' ' + QString::number(box(1)->isChecked()), u"Velmora_ru v.1.1 Порт не найден 0"_s);

        // COM2 opens through its link and goes on naming the device it holds after the link moves on (the
        // end-to-end run sends through such a link).
        QTest::mouseClick(box(2), Qt::LeftButton, {}, QPoint(6, 8));
        QVERIFY(::write(far, "OK", 2) == 2 && QFile::remove(dir.path() + u"/dev/COM2"_s) && QFile::link(u"gone"_s, dir.path() + u"/dev/COM2"_s));
        QTRY_COMPARE(window->findChild<QtSerialPort *>(u"MSComm2"_s)->receivedBytes(), 2);
        window->tick();
        QCOMPARE(told(2) + window->findChild<QLineEdit *>(u"Text12"_s)->text(), u"%1 — последовательный порт | <p>%1 — последовательный порт</p>OK"_s.arg(pty));
        QTest::mouseClick(box(2), Qt::LeftButton, {}, QPoint(6, 8));
        window->tick();
        QCOMPARE(told(2), u"COM2 закреплён за отключённым адаптером | <p>COM2 закреплён за отключённым адаптером</p>"_s);
    }
};

QTEST_MAIN(TestSystemWindow)
#include "tst_systemwindow.moc"

#include "qtserialport.h"
#include "systemwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The window exactly as the program builds it, over a made-up machine: COM1 an adapter with a hostile maker
// string and no device node that opens, COM2 a /dev/COM2 link to a pseudo terminal, month and weekday names
// from an 8-bit LC_TIME locale.
class TestSystemWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_far = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);

    QCheckBox *box(MainWindow &window, int n) { return window.findChild<QCheckBox *>(u"Check%1"_s.arg(n)); }
    // Its accessible description and its tooltip, the made-up root taken out.
    QString told(MainWindow &window, int n)
    {
        return QString(box(window, n)->accessibleDescription() + u" | "_s + box(window, n)->toolTip()).remove(m_dir.path());
    }

private Q_SLOTS:
    void startsAsTheProgramDoes()
    {
        const QString machine = uR"(. "$0" "$1" && usb ttyUSB0 '<font size=6>COM1 OK</font>' '' '' && rm dev/ttyUSB0 &&
            ln -s "$2" dev/COM2 && localedef -i ru_RU -f KOI8-R "$1/ru_RU.KOI8-R" >/dev/null)"_s;
        QVERIFY(::grantpt(m_far) == 0 && ::unlockpt(m_far) == 0);
        const QString pty = QString::fromLocal8Bit(::ptsname(m_far));
        QCOMPARE(QProcess::execute(u"sh"_s, {u"-c"_s, machine, QString::fromUtf8(MACHINE_FIXTURE), m_dir.path(), pty}), 0);
        qputenv("LOCPATH", m_dir.path().toLocal8Bit());
        qputenv("LC_TIME", "ru_RU.KOI8-R");
        qunsetenv("LC_ALL");
        const auto window = makeSystemWindow(ComPortMap(m_dir.path() + u"/dev"_s, m_dir.path() + u"/sys"_s, m_dir.path() + u"/rules"_s));
        window->findChild<QTimer *>(u"Timer1"_s)->stop();
        window->show();

        const QString months[] = {u"Января"_s, u"Февраля"_s, u"Марта"_s, u"Апреля"_s, u"Мая"_s, u"Июня"_s, u"Июля"_s,
                                  u"Августа"_s, u"Сентября"_s, u"Октября"_s, u"Ноября"_s, u"Декабря"_s};
        const QString days[] = {u"Понедельник"_s, u"Вторник"_s, u"Среда"_s, u"Четверг"_s, u"Пятница"_s, u"Суббота"_s, u"Воскресенье"_s};
        const QDate today = QDate::currentDate();
        QCOMPARE(window->windowTitle(), u"Brannick       Velmora v.1.1              Сегодня: %1  %2  %3 года  %4"_s.arg(today.day())
                                            .arg(months[today.month() - 1]).arg(today.year()).arg(days[today.dayOfWeek() - 1]));

        QCOMPARE(told(*window, 1), u"/dev/ttyUSB0 — <font size=6>COM1 OK</font> | <p>/dev/ttyUSB0 — &lt;font size=6&gt;COM1 OK&lt;/font&gt;</p>"_s);
        QString message;
        QTimer::singleShot(0, this, [&message] {
            auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            message = shown ? shown->windowTitle() + u' ' + shown->text() : u"no message box"_s;
            if (shown)
                shown->accept();
        });
        QTest::mouseClick(box(*window, 1), Qt::LeftButton, {}, QPoint(6, 8));
        QCOMPARE(message + u' ' + QString::number(box(*window, 1)->isChecked()), u"Velmora_ru v.1.1 Порт не найден 0"_s);

        // COM2 opens through its link and keeps naming the device it holds after the link moves on.
        QTest::mouseClick(box(*window, 2), Qt::LeftButton, {}, QPoint(6, 8));
        QCOMPARE(::write(m_far, "OK", 2), 2);
        QVERIFY(QFile::remove(m_dir.path() + u"/dev/COM2"_s) && QFile::link(u"gone"_s, m_dir.path() + u"/dev/COM2"_s));
        QTRY_COMPARE(window->findChild<QtSerialPort *>(u"MSComm2"_s)->receivedBytes(), 2);
        window->tick();
        QCOMPARE(window->findChild<QLineEdit *>(u"Text12"_s)->text(), u"OK"_s);
        QCOMPARE(told(*window, 2), u"%1 — последовательный порт | <p>%1 — последовательный порт</p>"_s.arg(pty));
        window->findChild<QLineEdit *>(u"Text13"_s)->setText(u"AT"_s);
        window->tick();
        QByteArray sent;
        char chunk[8];
        QTRY_COMPARE(sent += QByteArray(chunk, std::max(::read(m_far, chunk, sizeof chunk), ssize_t(0))), "AT");
        QTest::mouseClick(box(*window, 2), Qt::LeftButton, {}, QPoint(6, 8));
        window->tick();
        QCOMPARE(told(*window, 2), u"COM2 закреплён за отключённым адаптером | <p>COM2 закреплён за отключённым адаптером</p>"_s);
    }
};

QTEST_MAIN(TestSystemWindow)
#include "tst_system.moc"

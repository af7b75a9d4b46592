// An adapter pinned to COM2 by a /dev/COM2 link, on a machine with no
// /dev/ttyS1, as the real window finds it: inside a private mount namespace,
// with a pseudo-terminal standing in for a USB adapter.

#include "portnamespace.h"
#include "ptypair.h"
#include "qtserialport.h"
#include "systemwindow.h"

#include <QCheckBox>
#include <QFile>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>

#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestComLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linkedAdapterOpensAsCom2();
};

void TestComLink::linkedAdapterOpensAsCom2()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    PortNamespace ports;
    if (!ports.enter())
        QSKIP(qPrintable(u"cannot make a private /dev: "_s + ports.failure()));
    QVERIFY(::unlink("/dev/ttyS1") == 0);
    QFile standIn(u"/dev/ttyUSB0"_s);
    QVERIFY(standIn.open(QIODevice::WriteOnly));
    QVERIFY(::mount(pty.slavePath().toLocal8Bit().constData(), "/dev/ttyUSB0", nullptr, MS_BIND, nullptr) == 0);
    QVERIFY(QFile::link(u"ttyUSB0"_s, u"/dev/COM2"_s));

    const auto window = makeSystemWindow();
    QStringList messages;
    window->setMessagePresenter([&messages](QWidget *, const QString &text) { messages << text; });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *box = window->findChild<QCheckBox *>(u"Check2"_s);
    box->setChecked(true);
    QCOMPARE(messages, QStringList());
    QCOMPARE(window->findChild<QtSerialPort *>(u"MSComm2"_s)->openDevice(), u"/dev/ttyUSB0"_s);
    QCOMPARE(pty.writeMaster("hi"), qint64(2));
    QTRY_COMPARE(window->findChild<QLineEdit *>(u"Text12"_s)->text(), u"hi"_s);

    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(box, &hover);
    QTRY_COMPARE(QToolTip::text(), u"/dev/ttyUSB0 — serial port"_s);
}

QTEST_MAIN(TestComLink)
#include "tst_comlink.moc"

#include "portmapping.h"
#include "remoteportdialog.h"
#include "systemports.h"
#include "systemwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// A COM number that stands for a port on another machine: the dialog that asks for its address,
// and the number in the window as the program builds it.
class TestRemoteWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

private Q_SLOTS:
    // The user's settings in a folder of the test's own.
    void initTestCase()
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    }

    // The dialog's title and its accept button; what is wrong said as the address is typed, and
    // whether it can be accepted: a host name that is not one, then a valid address; the address
    // accepted.
    void dialog()
    {
        RemotePortDialog dialog(3, {});
        auto *edit = dialog.findChild<QLineEdit *>(u"address"_s);
        QPushButton *accept = dialog.findChildren<QPushButton *>().first();
        QStringList seen{dialog.windowTitle(), accept->text()};
        for (const QString &typed : {u"rfc2217://<b>"_s, u"rfc2217://h:7"_s}) {
            edit->clear();
            QTest::keyClicks(edit, typed);
            seen << dialog.findChild<QLabel *>(u"problem"_s)->text()
                    + QString::number(accept->isEnabled());
        }
        accept->click();
        seen << dialog.address()->text() + QString::number(dialog.result());
        QCOMPARE(seen, QStringList({u"Удалённый порт COM3"_s, u"Подключить"_s,
                                    u"недопустимое имя сервера0"_s, u"1"_s, u"rfc2217://h:71"_s}));
    }

    // The box stays ticked while the connection is made in the background; a refused one takes the
    // tick back with the usual message, and the box says why. What the box says (the address left
    // out) and whether it is ticked, before the tick, after it, after the message; the message.
    void refusedConnection()
    {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        const QString address = u"rfc2217://localhost:%1"_s.arg(gone.serverPort());
        gone.close();
        QVERIFY(PortMapping::store(3, *RemoteAddressParse::from(address).address));
        const auto window = makeSystemWindow(std::make_unique<SystemPorts>());
        window->findChild<QTimer *>(u"Timer1"_s)->stop();
        QStringList seen;
        window->setMessagePresenter([&seen](QWidget *, const QString &text) { seen << text; });
        auto *box = window->findChild<QCheckBox *>(u"Check3"_s);
        const auto look = [&] {
            seen << box->accessibleDescription().remove(address)
                    + QString::number(box->isChecked());
        };
        look();
        box->setChecked(true);
        look();
        QTRY_COMPARE(seen.size(), 3);
        look();
        QCOMPARE(seen, QStringList({u"COM3 — 0"_s, u"COM3 —  — соединение…1"_s, u"Порт не найден"_s,
                                    u"COM3 —  — соединение отклонено0"_s}));
    }
};

QTEST_MAIN(TestRemoteWindow)
#include "tst_remotewindow.moc"

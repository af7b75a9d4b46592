#include "portmapping.h"
#include "systemports.h"
#include "systemwindow.h"

#include <QCheckBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// A COM number that stands for a port on another machine, in the window as the program builds it.
class TestRemoteWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit()); }
    void cleanupTestCase() { QVERIFY(PortMapping::makeLocal(3)); }

    // The box stays ticked while the connection is made in the background; a refused one takes the
    // tick back with the usual message, and the box says why.
    void refusedConnection()
    {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        const QString address = u"rfc2217://127.0.0.1:%1"_s.arg(gone.serverPort());
        gone.close();
        QVERIFY(PortMapping::store(3, *RemoteAddressParse::from(address).address));
        const auto window = makeSystemWindow(std::make_unique<SystemPorts>());
        window->findChild<QTimer *>(u"Timer1"_s)->stop();
        QStringList messages;
        window->setMessagePresenter(
            [&messages](QWidget *, const QString &text) { messages << text; });
        auto *box = window->findChild<QCheckBox *>(u"Check3"_s);
        QCOMPARE(box->accessibleDescription(), u"COM3 — "_s + address);
        box->setChecked(true);
        QVERIFY(box->isChecked() && messages.isEmpty());
        QCOMPARE(box->accessibleDescription(), u"COM3 — "_s + address + u" — соединение…"_s);
        QTRY_COMPARE(messages, QStringList{u"Порт не найден"_s});
        QVERIFY(!box->isChecked());
        QCOMPARE(box->accessibleDescription(),
                 u"COM3 — "_s + address + u" — соединение отклонено"_s);
    }
};

QTEST_MAIN(TestRemoteWindow)
#include "tst_remotewindow.moc"

#include "remoteportdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

// The dialog that asks for a remote port's address.
class TestRemotePortDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What is wrong is said as the address is typed; only a valid one can be accepted.
    void typing()
    {
        RemotePortDialog dialog(3, u"rfc2217://old:1"_s);
        auto *edit = dialog.findChild<QLineEdit *>(u"address"_s);
        auto *problem = dialog.findChild<QLabel *>(u"problem"_s);
        QPushButton *accept = dialog.findChildren<QPushButton *>().first();
        QCOMPARE(dialog.windowTitle() + u' ' + accept->text(), u"Удалённый порт COM3 Подключить"_s);
        edit->clear();
        QTest::keyClicks(edit, u"rfc2217://<b>host</b>"_s);
        QCOMPARE(problem->text() + u' ' + QString::number(accept->isEnabled()),
                 u"недопустимое имя сервера 0"_s);
        edit->setText(u"rfc2217://host"_s);
        QTest::keyClicks(edit, u":7000"_s);
        QCOMPARE(problem->text() + QString::number(accept->isEnabled()), u"1"_s);
        accept->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.address()->text(), u"rfc2217://host:7000"_s);
    }
};

QTEST_MAIN(TestRemotePortDialog)
#include "tst_remoteportdialog.moc"

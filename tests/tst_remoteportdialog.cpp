#include "remoteportdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

// The dialog that asks for a remote port's address: what is wrong is said as the address is
// typed; only a valid one can be accepted.
class TestRemotePortDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typing()
    {
        RemotePortDialog dialog(3, u"rfc2217://old:1"_s);
        auto *edit = dialog.findChild<QLineEdit *>(u"address"_s);
        QPushButton *accept = dialog.findChildren<QPushButton *>().first();
        const auto shown = [&] {
            return dialog.findChild<QLabel *>(u"problem"_s)->text() + u' '
                + QString::number(accept->isEnabled());
        };
        QCOMPARE(dialog.windowTitle() + u' ' + accept->text(), u"Удалённый порт COM3 Подключить"_s);
        edit->clear();
        QTest::keyClicks(edit, u"rfc2217://<b>h</b>"_s);
        QCOMPARE(shown(), u"недопустимое имя сервера 0"_s);
        edit->setText(u"rfc2217://h"_s);
        QTest::keyClicks(edit, u":7"_s);
        QCOMPARE(shown(), u" 1"_s);
        accept->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.address()->text(), u"rfc2217://h:7"_s);
    }
};

QTEST_MAIN(TestRemotePortDialog)
#include "tst_remoteportdialog.moc"

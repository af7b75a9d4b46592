#include "linesettings.h"

#include <QTest>

using namespace Qt::StringLiterals;

// What the user may type into a channel's settings combos, as the serial port reads it: the line
// settings in their canonical form, the handshaking as a number; nothing where it is refused.
class TestLineSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Texts read as typed but for the parity letter's case, and blanks and a plus sign around a
    // number; texts refused. A row's tag is its text, '_' for a blank.
    void typedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");
        const QString texts[] = {
            u"1200,o,7,2|4800,s,8,1|31250,n,5,2|9600,n,8,1.5|2147483647,n,8,1|110,N,8,1|300,E,6,1|"
            "19200,M,8,1| +1 |-1"_s,
            u"|9600,n,8|9600,n,8,1,1|9600,n,8,1,5|9600, n,8,1|9600,n,8,1 |09600,n,8,1|0,n,8,1|"
            "-9600,n,8,1|2147483648,n,8,1|９６００,n,8,1|9600,x,8,1|9600,n,4,1|9600,n,9,1|9600,n,8,3|"
            "9600;n;8;1|2.0|abc"_s,
        };
        for (int refused = 0; refused < 2; ++refused)
            for (const QString &text : texts[refused].split(u'|'))
                QTest::addRow(refused ? "refused:%s" : "%s",
                              qPrintable(QString(text).replace(u' ', u'_')))
                    << text << (refused ? QString() : text.trimmed().remove(u'+').toLower());
    }
    void typedText()
    {
        QFETCH(QString, text);
        const std::optional<LineSettings> settings = parseLineSettings(text);
        const std::optional<qint32> handshaking = parseHandshakingText(text);
        QTEST(settings ? formatLineSettings(*settings)
                       : handshaking ? QString::number(*handshaking) : QString(),
              "read");
    }
};

QTEST_APPLESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"

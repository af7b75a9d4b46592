#include "linesettings.h"

#include <QTest>

// What the user may type as line settings, as the serial port reads it.
class TestLineSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settingsText_data()
    {
        QTest::addColumn<QString>("text");
        // Empty where the text is refused.
        QTest::addColumn<QString>("canonical");
        for (const char *text : {"9600,n,8,1", "1200,o,7,2", "4800,s,8,1", "31250,n,5,2",
                                 "9600,n,8,1.5", "2147483647,n,8,1"})
            QTest::newRow(text) << text << text;
        const char *upperCase[][2] = {
            {"110,N,8,1", "110,n,8,1"}, {"300,E,7,1", "300,e,7,1"}, {"19200,M,6,1", "19200,m,6,1"}};
        for (const auto &[text, canonical] : upperCase)
            QTest::newRow(text) << text << canonical;
        for (const char *text : {"", "9600,n,8", "9600,n,8,1,1", "9600, n,8,1", "9600,n,8,1 ",
                                 "09600,n,8,1", "0,n,8,1", "-9600,n,8,1", "2147483648,n,8,1",
                                 "９６００,n,8,1", "9600,x,8,1", "9600,n,4,1", "9600,n,9,1",
                                 "9600,n,8,3", "9600,n,8,1,5", "9600;n;8;1"})
            QTest::addRow("refused:%s", QByteArray(text).replace(' ', '_').data()) << text << "";
    }
    void settingsText()
    {
        QFETCH(QString, text);
        const std::optional<LineSettings> parsed = parseLineSettings(text);
        QTEST(parsed ? formatLineSettings(*parsed) : QString(), "canonical");
    }
};

QTEST_APPLESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"

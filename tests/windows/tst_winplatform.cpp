#include "comportlist.h"
#include "iconresource.h"
#include "regionalnames.h"
#include "systemports.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestWinPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Strings from devices and drivers, as a box describes them.
    void deviceText_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("shown");
        QTest::newRow("blanksAndBreaks") << u"  USB\tSerial\r\nPort  "_s << u"USB Serial Port"_s;
        QTest::newRow("controlAndFormat") << u"FT\u0007DI\u202E<b>"_s << u"FT\uFFFDDI\uFFFD<b>"_s;
        QTest::newRow("cutAt64") << QString(70, u'x') << QString(64, u'x');
    }
    void deviceText()
    {
        QFETCH(QString, raw);
        QTEST(::deviceText(raw), "shown");
    }

    void usbSerialNumber_data()
    {
        QTest::addColumn<QString>("instanceId");
        QTest::addColumn<QString>("serialNumber");
        QTest::newRow("ftdi") << u"USB\\VID_0403&PID_6001\\A10K2ZQ3"_s << u"A10K2ZQ3"_s;
        QTest::newRow("madeUpByWindows") << u"USB\\VID_067B&PID_2303\\5&2C3F1B1&0&2"_s << u""_s;
        QTest::newRow("notUsb") << u"ACPI\\PNP0501\\1"_s << u""_s;
        QTest::newRow("lowerCase") << u"usb\\vid_1a86&pid_7523\\0001"_s << u"0001"_s;
    }
    void usbSerialNumber()
    {
        QFETCH(QString, instanceId);
        QTEST(::usbSerialNumber(instanceId), "serialNumber");
    }

    void describeComPort_data()
    {
        QTest::addColumn<QString>("comName");
        QTest::addColumn<QString>("description");
        QTest::newRow("usbAdapter") << u"COM3"_s << u"COM3 — USB Serial Port (FTDI), серийный номер A10K2ZQ3"_s;
        QTest::newRow("standardPortAnyCase") << u"COM1"_s << u"COM1 — Communications Port (Standard port types)"_s;
        QTest::newRow("nameOnly") << u"COM5"_s << u"COM5 — последовательный порт"_s;
        QTest::newRow("notListed") << u"COM2"_s << u"COM2 — нет устройства"_s;
    }
    void describeComPort()
    {
        QFETCH(QString, comName);
        const QList<ComPortInfo> ports{{u"COM3"_s, u"USB Serial Port"_s, u"FTDI"_s, u"A10K2ZQ3"_s},
                                       {u"com1"_s, u"Communications Port"_s, u"(Standard port types)"_s, {}},
                                       {u"COM5"_s, {}, {}, {}}};
        QTEST(::describeComPort(comName, ports), "description");
    }

    // Under Wine SetupAPI lists no port and SERIALCOMM those the prefix maps: COM1 to COM3 here.
    void systemPortsDescribed()
    {
        SystemPorts ports;
        QStringList described;
        for (int channel = 0; channel < 4; ++channel)
            described << ports.description(channel);
        QCOMPARE(described, QStringList({u"COM1 — последовательный порт"_s, u"COM2 — последовательный порт"_s,
                                         u"COM3 — последовательный порт"_s, u"COM4 — нет устройства"_s}));
    }

    // The one 256-pixel picture, scaled by the system to each size asked for, in any order.
    void iconResources_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::addColumn<QSize>("made");
        QTest::newRow("large") << u"Icon1"_s << 32 << QSize(32, 32);
        QTest::newRow("smallAfterLarge") << u"ICON1"_s << 16 << QSize(16, 16);
        QTest::newRow("missing") << u"Icon2"_s << 32 << QSize();
    }
    void iconResources()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        const QImage image = iconResource(name, size);
        QTEST(image.isNull() ? QSize() : image.size(), "made");
        // Rounded corners see through, the middle is drawn.
        QVERIFY(image.isNull() || (qAlpha(image.pixel(0, 0)) == 0 && qAlpha(image.pixel(size / 2, size / 2)) == 255));
    }

    // Nominative months, weekdays from Sunday, as Wine's Russian locale has them (Windows capitalises the
    // months, as "Январь").
    void regionalNames()
    {
        const QStringList names{regionalMonthName(1), regionalMonthName(12), regionalWeekdayName(1), regionalWeekdayName(2), regionalWeekdayName(7)};
        QCOMPARE(names.join(u' '), u"январь декабрь воскресенье понедельник суббота"_s);
    }
};

QTEST_MAIN(TestWinPlatform)
#include "tst_winplatform.moc"

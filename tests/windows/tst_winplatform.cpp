#include "comportlist.h"
#include "devicedescription.h"
#include "iconresource.h"
#include "regionalnames.h"
#include "systemports.h"

#include <QTest>

#include <string>
#include <utility>

#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

using namespace Qt::StringLiterals;

// A registry text as SetupAPI and the registry take it: its bytes with the terminating zero.
static const BYTE *bytes(const std::wstring &text)
{
    return reinterpret_cast<const BYTE *>(text.c_str());
}
static DWORD size(const std::wstring &text) { return DWORD((text.size() + 1) * sizeof(wchar_t)); }

class TestWinPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The text rules, one table whose tags start with the function they try: "text" is deviceText,
    // strings from devices and drivers as a box describes them; "serial" is usbSerialNumber of a
    // device instance id; "describe" is describeComPort, a COM name against the ports the system
    // lists.
    void textRules_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("made");
        QTest::newRow("text:blanksAndBreaks")
            << u"  USB\tSerial\r\nPort  "_s << u"USB Serial Port"_s;
        QTest::newRow("text:controlAndFormat")
            << u"FT\u0007DI\u202E<b>"_s << u"FT\uFFFDDI\uFFFD<b>"_s;
        QTest::newRow("text:cutAt64") << QString(70, u'x') << QString(64, u'x');
        QTest::newRow("serial:ftdi") << u"USB\\VID_0403&PID_6001\\A10K2ZQ3"_s << u"A10K2ZQ3"_s;
        QTest::newRow("serial:madeUpByWindows")
            << u"USB\\VID_067B&PID_2303\\5&2C3F1B1&0&2"_s << u""_s;
        QTest::newRow("serial:notUsb") << u"ACPI\\PNP0501\\1"_s << u""_s;
        QTest::newRow("serial:lowerCase") << u"usb\\vid_1a86&pid_7523\\0001"_s << u"0001"_s;
        QTest::newRow("describe:usbAdapter")
            << u"COM3"_s << u"COM3 — USB Serial Port (FTDI), серийный номер A10K2ZQ3"_s;
        QTest::newRow("describe:standardPortAnyCase")
            << u"COM1"_s << u"COM1 — Communications Port (Standard port types)"_s;
        QTest::newRow("describe:nameOnly") << u"COM5"_s << u"COM5 — последовательный порт"_s;
        QTest::newRow("describe:notListed") << u"COM2"_s << u"COM2 — нет устройства"_s;
    }
    void textRules()
    {
        QFETCH(QString, given);
        const QString function = QString::fromLatin1(QTest::currentDataTag()).section(u':', 0, 0);
        const QList<ComPortInfo> ports{
            {u"COM3"_s, u"USB Serial Port"_s, u"FTDI"_s, u"A10K2ZQ3"_s},
            {u"COM5"_s, {}, {}, {}},
            {u"com1"_s, u"Communications Port"_s, u"(Standard port types)"_s, {}}};
        QTEST(function == u"text"         ? ::deviceText(given)
                  : function == u"serial" ? ::usbSerialNumber(given)
                                          : ::describeComPort(given, ports),
              "made");
    }

    // Under Wine SetupAPI lists no port and SERIALCOMM those the prefix maps: COM1 to COM3 here.
    // Nominative months in any case (Windows says "Январь", Wine "январь"), weekdays from Sunday.
    void systemPortsAndRegionalNames()
    {
        SystemPorts ports;
        const QStringList names{
            ports.description(0),   ports.description(1),           ports.description(2),
            ports.description(3),   regionalMonthName(1).toLower(), regionalMonthName(12).toLower(),
            regionalWeekdayName(1), regionalWeekdayName(2),         regionalWeekdayName(7)};
        QCOMPARE(
            names.join(u'|'),
            u"COM1 — последовательный порт|COM2 — последовательный порт|"
            "COM3 — последовательный порт|"
            "COM4 — нет устройства|январь|декабрь|воскресенье|понедельник|суббота"_s);
    }

    // The picture by the name the program asks for, scaled by the system to the size asked for; a
    // name the program does not hold has none.
    void iconResources()
    {
        QVERIFY(iconResource(u"Icon1"_s, 16).size() == QSize(16, 16));
        QVERIFY(iconResource(u"Icon2"_s, 32).isNull());
    }

    // The port of a modem-class device (a USB CDC modem), registered for the test, then removed.
    void modemPort()
    {
        const HDEVINFO devices = ::SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_MODEM, nullptr);
        SP_DEVINFO_DATA modem{};
        modem.cbSize = sizeof modem;
        if (!::SetupDiCreateDeviceInfoW(devices, L"VELMORA_MODEM", &GUID_DEVCLASS_MODEM, nullptr,
                                        nullptr, DICD_GENERATE_ID, &modem)
            || !::SetupDiRegisterDeviceInfo(devices, &modem, 0, nullptr, nullptr, nullptr)) {
            ::SetupDiDestroyDeviceInfoList(devices);
            QSKIP("registering a device takes administrator rights");
        }
        const std::wstring model = L"USB Modem", maker = L"u-blox", port = L"COM7";
        for (const auto &[property, text] :
             {std::pair{SPDRP_FRIENDLYNAME, model}, {SPDRP_MFG, maker}})
            ::SetupDiSetDeviceRegistryPropertyW(devices, &modem, property, bytes(text), size(text));
        const HKEY key = ::SetupDiCreateDevRegKeyW(devices, &modem, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                                   nullptr, nullptr);
        ::RegSetValueExW(key, L"PortName", 0, REG_SZ, bytes(port), size(port));
        ::RegCloseKey(key);
        const QString described = describeComPort(u"COM7"_s, listComPorts());
        ::SetupDiRemoveDevice(devices, &modem);
        ::SetupDiDestroyDeviceInfoList(devices);
        QCOMPARE(described, u"COM7 — USB Modem (u-blox)"_s);
    }
};

QTEST_MAIN(TestWinPlatform)
#include "tst_winplatform.moc"

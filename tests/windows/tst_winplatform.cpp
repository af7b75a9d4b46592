#include "farend.h"
#include "iconresource.h"
#include "regionalnames.h"
#include "systemports.h"

#include <QTest>

#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

using namespace Qt::StringLiterals;

class TestWinPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The serial numbers in USB instance ids, as the boxes give them. Under Wine SERIALCOMM lists
    // the COM numbers the prefix maps, COM1 to COM3, and SetupAPI none.
    // A month nominative in any case (Wine's "декабрь", Windows' "Декабрь"), weekdays from Sunday;
    // the icon by the name the program asks for, at the size asked for.
    void texts()
    {
        QStringList made{usbSerialNumber(u"usb\\vid_1a86&pid_7523\\0001"),
                         usbSerialNumber(u"USB\\VID_067B&PID_2303\\5&2C3F1B1&0&2")};
        SystemPorts ports;
        made << ports.description(0) << ports.description(3) << regionalMonthName(12).toLower()
             << regionalWeekdayName(1);
        QCOMPARE(made,
                 u"0001||COM1 — последовательный порт|COM4 — нет устройства|декабрь|"
                 "воскресенье"_s.split(u'|'));
        QCOMPARE(iconResource(u"Icon1"_s, 16).size(), QSize(16, 16));
    }

    // The port of a modem-class device (a USB CDC modem), registered for the test, then removed:
    // its name in any case and the model.
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
        const wchar_t model[] = L"USB Modem";
        ::SetupDiSetDeviceRegistryPropertyW(devices, &modem, SPDRP_FRIENDLYNAME,
                                            (const BYTE *)model, sizeof model);
        const HKEY key = ::SetupDiCreateDevRegKeyW(devices, &modem, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                                   nullptr, nullptr);
        ::RegSetKeyValueW(key, nullptr, L"PortName", REG_SZ, L"com7", sizeof L"com7");
        ::RegCloseKey(key);
        const QString described = describeComPort(u"COM7"_s, listComPorts());
        ::SetupDiRemoveDevice(devices, &modem);
        ::SetupDiDestroyDeviceInfoList(devices);
        QCOMPARE(described, u"COM7 — USB Modem"_s);
    }

    // A driver whose every status request fails has lost its device, though it never says so.
    void failingStatusIsAHangUp()
    {
        FarEnd cable;
        PortCore port(FarEnd::transport());
        port.setDevice(cable.device());
        QVERIFY(port.setPortOpen(true) && port.cdHolding());
        cable.mute();
        QVERIFY(!port.cdHolding() && !port.dsrHolding() && !port.ctsHolding());
        QCOMPARE(port.state(), PortCore::State::Waiting);
    }
};

QTEST_MAIN(TestWinPlatform)
#include "tst_winplatform.moc"

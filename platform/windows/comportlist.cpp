#include "comportlist.h"

#include "devicedescription.h"
#include "porttexts.h"
#include "qstringfrom.h"

#include <algorithm>
#include <array>
#include <vector>

#include <windows.h>

#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

namespace {

constexpr DWORD longestProperty = 64 * 1024;
// A USB CDC modem (a phone, an LTE stick) is a modem to SetupAPI, yet its port is a COM port as any other.
constexpr std::array portClasses{&GUID_DEVCLASS_PORTS, &GUID_DEVCLASS_MODEM};

[[nodiscard]] QString fromWide(const std::vector<wchar_t> &text)
{
    return QString::fromWCharArray(text.data(), qsizetype(std::ranges::find(text, L'\0') - text.begin()));
}

[[nodiscard]] QString deviceProperty(HDEVINFO devices, SP_DEVINFO_DATA &device, DWORD property)
{
    DWORD type = 0;
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type, nullptr, 0, &size);
    if (size == 0 || size > longestProperty)
        return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (!::SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type, reinterpret_cast<BYTE *>(text.data()), size, nullptr)
        || type != REG_SZ)
        return {};
    return fromWide(text);
}

[[nodiscard]] QString registryText(HKEY key, const wchar_t *value)
{
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ || size > longestProperty)
        return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE *>(text.data()), &size) != ERROR_SUCCESS)
        return {};
    return fromWide(text);
}

[[nodiscard]] QString portName(HDEVINFO devices, SP_DEVINFO_DATA &device)
{
    const HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    const QString name = registryText(key, L"PortName");
    ::RegCloseKey(key);
    return name;
}

[[nodiscard]] QString instanceId(DEVINST node)
{
    std::vector<wchar_t> id(MAX_DEVICE_ID_LEN + 1, L'\0');
    return ::CM_Get_Device_IDW(node, id.data(), MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS ? fromWide(id) : QString();
}

// The maker and serial number belong to the USB device itself, above the port and any interface of it.
[[nodiscard]] QString serialNumberAbove(DEVINST node)
{
    for (int depth = 0; depth < 16; ++depth) {
        const QString id = instanceId(node);
        if (id.startsWith(QStringLiteral("USB\\"), Qt::CaseInsensitive)
            && !id.section(u'\\', 1, 1).contains(QStringLiteral("&MI_"), Qt::CaseInsensitive))
            return usbSerialNumber(id);
        if (::CM_Get_Parent(&node, node, 0) != CR_SUCCESS)
            break;
    }
    return {};
}

void appendClassPorts(QList<ComPortInfo> &ports, const GUID &deviceClass)
{
    const HDEVINFO devices = ::SetupDiGetClassDevsW(&deviceClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const QString name = deviceText(portName(devices, device));
        if (!name.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive))
            continue; // a printer port of the same class
        QString model = deviceProperty(devices, device, SPDRP_FRIENDLYNAME);
        const QString numbered = QStringLiteral(" (") + name + u')';
        if (model.endsWith(numbered, Qt::CaseInsensitive))
            model.chop(numbered.size());
        if (model.trimmed().isEmpty())
            model = deviceProperty(devices, device, SPDRP_DEVICEDESC);
        ports.append({name, deviceText(model), deviceText(deviceProperty(devices, device, SPDRP_MFG)),
                      deviceText(serialNumberAbove(device.DevInst))});
    }
    ::SetupDiDestroyDeviceInfoList(devices);
}

[[nodiscard]] QList<ComPortInfo> setupApiPorts()
{
    QList<ComPortInfo> ports;
    for (const GUID *deviceClass : portClasses)
        appendClassPorts(ports, *deviceClass);
    return ports;
}

[[nodiscard]] QStringList serialCommPorts()
{
    QStringList names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> value(16384, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD valueLength = DWORD(value.size());
        if (::RegEnumValueW(key, index, value.data(), &valueLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names << deviceText(registryText(key, value.data()));
    }
    ::RegCloseKey(key);
    return names;
}

[[nodiscard]] bool sameName(const QString &one, const QString &other)
{
    return one.compare(other, Qt::CaseInsensitive) == 0;
}

} // namespace

QList<ComPortInfo> listComPorts()
{
    QList<ComPortInfo> ports = setupApiPorts();
    for (const QString &name : serialCommPorts()) {
        if (!name.isEmpty() && std::ranges::none_of(ports, [&name](const ComPortInfo &port) { return sameName(port.name, name); }))
            ports.append({name, {}, {}, {}});
    }
    return ports;
}

QString describeComPort(const QString &comName, const QList<ComPortInfo> &ports)
{
    const QString lead = comName + qs(texts::deviceSeparator);
    const auto port = std::ranges::find_if(ports, [&comName](const ComPortInfo &listed) { return sameName(listed.name, comName); });
    if (port == ports.end())
        return lead + qs(texts::noDevice);
    QString maker = port->maker;
    if (maker.startsWith(u'(') && maker.endsWith(u')')) // "(Standard port types)"
        maker = maker.mid(1, maker.size() - 2);
    const QString model = (port->model.isEmpty() ? qs(texts::plainSerialPort) : port->model)
                        + (maker.isEmpty() ? QString() : QStringLiteral(" (") + maker + u')');
    return describeDevice(comName, model, port->serialNumber);
}

QString usbSerialNumber(QStringView instanceId)
{
    const QList<QStringView> parts = instanceId.split(u'\\');
    if (parts.size() != 3 || parts[0].compare(u"USB", Qt::CaseInsensitive) != 0 || parts[2].contains(u'&'))
        return {};
    return parts[2].toString();
}

#include "comportmap.h"

#include "qstringfrom.h"
#include "devicetexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

// Automatic numbering takes the kinds in this order, each by its number: the
// UARTs of PCs and of the common boards, then USB adapters, then CDC devices.
const QStringList kindOrder{QStringLiteral("ttyS"), QStringLiteral("ttyAMA"), QStringLiteral("ttymxc"),
                            QStringLiteral("ttyTHS"), QStringLiteral("ttyUSB"), QStringLiteral("ttyACM")};

// Sysfs strings come from the device itself: one short line of printable text.
constexpr qint64 attributeBytes = 256;
constexpr qsizetype attributeLength = 64;

// One sysfs attribute file of the device at dir; empty when there is none.
[[nodiscard]] QString attribute(const QString &dir, const char *file)
{
    QFile attributeFile(dir + QLatin1String(file));
    if (dir.isEmpty() || !attributeFile.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(attributeFile.read(attributeBytes)).simplified();
    std::ranges::replace_if(text, [](QChar c) { return !c.isPrint(); }, QChar::ReplacementCharacter);
    return text.left(attributeLength);
}

[[nodiscard]] QString comName(int comNumber)
{
    return qs(texts::comLead) + QString::number(comNumber);
}

} // namespace

ComPortMap::ComPortMap(QString devRoot, QString sysRoot, QString rulesDir)
    : m_dev(std::move(devRoot))
    , m_sys(std::move(sysRoot))
    , m_rules(std::move(rulesDir))
{
}

std::array<ComPortMap::ComPort, ComPortMap::comCount> ComPortMap::ports(const HeldDevices &held) const
{
    std::array<ComPort, comCount> chosen;
    std::array<bool, comCount> pinned{};
    std::array<QString, comCount> linked; // empty where dangling or absent
    QStringList claimed(held.cbegin(), held.cend());
    for (int n = 1; n <= comCount; ++n) {
        pinned[n - 1] = isPinned(n);
        linked[n - 1] = QFileInfo(link(n)).canonicalFilePath();
        claimed << linked[n - 1];
    }
    claimed.removeAll(QString());
    const auto isHeld = [&held](const QString &device) { return std::ranges::find(held, device) != held.end(); };
    const auto isNamed = [&chosen](const QString &device) {
        return std::ranges::any_of(chosen, [&device](const ComPort &port) { return port.device == device; });
    };

    QStringList unclaimed = systemPorts();
    unclaimed.removeIf([&claimed](const QString &port) { return claimed.contains(port); });
    auto next = unclaimed.cbegin();
    for (int n = 1; n <= comCount; ++n) {
        ComPort &port = chosen[n - 1];
        if (!held[n - 1].isEmpty()) {
            port.device = held[n - 1];
        } else if (pinned[n - 1]) {
            const QString &target = linked[n - 1];
            if (target.isEmpty())
                port.description = comName(n) + qs(texts::reservedNumberTail);
            else if (!isHeld(target)) // by another channel: it would be opened twice
                port.device = target;
        } else if (next != unclaimed.cend()) {
            port.device = *next++;
        }
    }
    for (int n = 1; n <= comCount; ++n) {
        ComPort &port = chosen[n - 1];
        const QString fallback = m_dev + QStringLiteral("/ttyS%1").arg(n - 1);
        if (port.device.isEmpty() && !pinned[n - 1] && !isNamed(fallback) && !claimed.contains(fallback))
            port.device = fallback;
        if (port.description.isEmpty())
            port.description = port.device.isEmpty() ? comName(n) + qs(texts::deviceSeparator) + qs(texts::noDevice)
                                                     : describe(port.device);
    }
    return chosen;
}

QStringList ComPortMap::watchedFolders() const
{
    return {m_dev, m_rules};
}

// A rule of ours pins the number whether or not its adapter is plugged in.
bool ComPortMap::isPinned(int comNumber) const
{
    const QFileInfo linked(link(comNumber));
    return linked.isSymLink() || linked.exists()
        || QFileInfo::exists(m_rules + QStringLiteral("/99-velmora-%1.rules").arg(comName(comNumber)));
}

QString ComPortMap::link(int comNumber) const
{
    return m_dev + QLatin1Char('/') + comName(comNumber);
}

QStringList ComPortMap::systemPorts() const
{
    static const QRegularExpression pattern(QStringLiteral("^(%1)(\\d+)$").arg(kindOrder.join(QLatin1Char('|'))));
    std::vector<std::tuple<qsizetype, int, QString>> found;
    QStringList kinds = kindOrder;
    for (QString &kind : kinds)
        kind += QLatin1Char('*');
    const QStringList names = QDir(m_sys + QStringLiteral("/class/tty")).entryList(kinds, QDir::AllEntries | QDir::System, QDir::NoSort);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (match.hasMatch() && !isPhantom(name))
            found.emplace_back(kindOrder.indexOf(match.captured(1)), match.captured(2).toInt(), name);
    }
    std::ranges::sort(found);
    QStringList ports;
    for (const auto &entry : found)
        ports << m_dev + QLatin1Char('/') + std::get<QString>(entry);
    return ports;
}

// The kernel makes a ttyS node for every UART slot; type 0 means no chip answers there.
bool ComPortMap::isPhantom(const QString &ttyName) const
{
    if (!ttyName.startsWith(QStringLiteral("ttyS")))
        return false;
    const QString type = attribute(ttyDir(ttyName), "/type");
    return type.isEmpty() || type == QStringLiteral("0");
}

QString ComPortMap::describe(const QString &device) const
{
    const QString name = QFileInfo(device).fileName();
    const QString lead = device + qs(texts::deviceSeparator);
    // A node sysfs does not know (a virtual port, say) is still a port to open.
    const bool known = QFileInfo::exists(ttyDir(name));
    if ((known && isPhantom(name)) || (!known && !QFileInfo::exists(device)))
        return lead + qs(texts::noDevice);

    const QString usb = usbDevice(name);
    QStringList model{attribute(usb, "/manufacturer"), attribute(usb, "/product")};
    model.removeAll(QString());
    const QString serial = attribute(usb, "/serial");
    return lead + (model.isEmpty() ? qs(texts::plainSerialPort) : model.join(QLatin1Char(' ')))
         + (serial.isEmpty() ? QString() : qs(texts::serialNumberLead) + serial);
}

// The tty's device is the adapter's interface (or a port below it); maker,
// model and serial number belong to the USB device above, the one with a vendor id.
QString ComPortMap::usbDevice(const QString &ttyName) const
{
    const QString top = QFileInfo(m_sys).canonicalFilePath() + QLatin1Char('/');
    for (QString dir = QFileInfo(ttyDir(ttyName) + QStringLiteral("/device")).canonicalFilePath(); dir.startsWith(top);
         dir = QFileInfo(dir).path()) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor")))
            return dir;
    }
    return {};
}

QString ComPortMap::usbIdentity(const QString &device) const
{
    const QString name = QFileInfo(device).fileName();
    const QString usb = usbDevice(name);
    if (usb.isEmpty())
        return {};
    QString interface;
    for (QString dir = QFileInfo(ttyDir(name) + QStringLiteral("/device")).canonicalFilePath(); interface.isEmpty() && dir.startsWith(usb);
         dir = QFileInfo(dir).path())
        interface = attribute(dir, "/bInterfaceNumber");
    const QString serial = attribute(usb, "/serial");
    return QStringList{attribute(usb, "/idVendor"), attribute(usb, "/idProduct"),
                       serial.isEmpty() ? QLatin1Char('@') + QFileInfo(usb).fileName() : serial, interface}
        .join(QLatin1Char(':'));
}

QString ComPortMap::deviceWithUsbIdentity(const QString &identity) const
{
    const QStringList present = systemPorts();
    const auto found = std::ranges::find_if(present, [&](const QString &device) { return usbIdentity(device) == identity; });
    return found == present.end() ? QString() : *found;
}

QString ComPortMap::ttyDir(const QString &ttyName) const
{
    return m_sys + QStringLiteral("/class/tty/") + ttyName;
}

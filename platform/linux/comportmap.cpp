#include "comportmap.h"

#include "devicedescription.h"
#include "porttexts.h"
#include "openfailure.h"
#include "qstringfrom.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>
#include <sys/sysmacros.h>

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
constexpr qint64 ruleBytes = 4096;

// Linux texts the other platforms have no use for.
constexpr std::string_view severalMatchTail = "правилу закрепления отвечают несколько устройств";
constexpr std::string_view sameDeviceLead = "то же устройство, что ";
constexpr std::string_view systemConsole = "системная консоль";
constexpr std::string_view consoleKeptTail = " служит системной консолью и намеренно не выдаётся; "
                                             "закрепить его всё же: sudo velmora-assign-com --force ";

// Unix98 pseudo terminals (socat's, a test's), which sysfs does not list.
constexpr unsigned firstPtyMajor = 136;
constexpr unsigned lastPtyMajor = 143;

// One sysfs attribute file of the device at dir, as udev compares it: trailing
// blanks dropped. Empty when there is none.
[[nodiscard]] QString sysfsValue(const QString &dir, const QString &file)
{
    QFile attributeFile(dir + file);
    if (dir.isEmpty() || !attributeFile.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(attributeFile.read(attributeBytes));
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

[[nodiscard]] QString attribute(const QString &dir, const char *file)
{
    return deviceText(sysfsValue(dir, QLatin1String(file)));
}

[[nodiscard]] QString comName(int comNumber)
{
    return qs(texts::comLead) + QString::number(comNumber);
}

// Said where the number would fall back to the console: ticking it would otherwise only tell that there is
// no device, and not why.
[[nodiscard]] QString consoleKept(int comNumber, const QString &console)
{
    return comName(comNumber) + qs(texts::deviceSeparator) + console + qs(consoleKeptTail) + comName(comNumber)
         + QLatin1Char(' ') + console;
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
    std::array<bool, comCount> ambiguous{};
    std::array<QString, comCount> linked; // empty where dangling, looping or absent
    QStringList claimed;
    for (const std::optional<QString> &device : held)
        claimed << device.value_or(QString());
    for (int n = 1; n <= comCount; ++n) {
        const QFileInfo linkInfo(link(n));
        const QStringList matches = ruleMatches(n);
        pinned[n - 1] = isPinned(n);
        ambiguous[n - 1] = matches.size() > 1;
        linked[n - 1] = linkInfo.exists() ? linkInfo.canonicalFilePath() : QString();
        claimed << linked[n - 1] << matches; // a pinned adapter never turns up under another number
    }
    claimed.removeAll(QString());
    // Nor is the console numbered automatically: its modem lines are not ours.
    QStringList consoles = this->consoles();
    for (QString &console : consoles)
        console.prepend(m_dev + QLatin1Char('/'));
    const auto isHeld = [&held](const QString &device) { return std::ranges::find(held, device) != held.end(); };
    const auto isNamed = [&chosen](const QString &device) {
        return std::ranges::any_of(chosen, [&device](const ComPort &port) { return port.device == device; });
    };

    QStringList unclaimed = systemPorts();
    unclaimed.removeIf([&](const QString &port) { return claimed.contains(port) || consoles.contains(port); });
    auto next = unclaimed.cbegin();
    for (int n = 1; n <= comCount; ++n) {
        ComPort &port = chosen[n - 1];
        if (held[n - 1]) {
            port.device = *held[n - 1];
        } else if (pinned[n - 1]) {
            const QString &target = linked[n - 1];
            const auto named = std::ranges::find(chosen, target, &ComPort::device);
            if (ambiguous[n - 1])
                port.description = comName(n) + qs(texts::deviceSeparator) + qs(severalMatchTail);
            else if (target.isEmpty())
                port.description = comName(n) + qs(texts::reservedNumberTail);
            else if (named != chosen.end() && !isHeld(target))
                port.description = comName(n) + qs(texts::deviceSeparator) + qs(sameDeviceLead) + comName(int(named - chosen.begin()) + 1);
            else if (!isHeld(target) && isPort(target)) // another channel's would be opened twice
                port.device = target;
        } else if (next != unclaimed.cend()) {
            port.device = *next++;
        }
    }
    for (int n = 1; n <= comCount; ++n) {
        ComPort &port = chosen[n - 1];
        const QString fallback = m_dev + QStringLiteral("/ttyS%1").arg(n - 1);
        const bool fallbackFree = port.device.isEmpty() && !held[n - 1] && !pinned[n - 1] && !isNamed(fallback)
                               && !claimed.contains(fallback);
        if (fallbackFree && consoles.contains(fallback))
            port.description = consoleKept(n, fallback);
        else if (fallbackFree)
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
    return linked.isSymLink() || linked.exists() || QFileInfo::exists(ruleFile(comNumber));
}

QString ComPortMap::ruleFile(int comNumber) const
{
    return m_rules + QStringLiteral("/99-velmora-%1.rules").arg(comName(comNumber));
}

// The present ttys that the rule of COMn applies to, as /dev paths. Values are
// compared as plain text, the only kind the pinning script writes; a key not
// known here matches nothing, and neither does a file without a rule.
QStringList ComPortMap::ruleMatches(int comNumber) const
{
    QFile rules(ruleFile(comNumber));
    if (!rules.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression keyValue(QStringLiteral(R"x((\w+(?:\{[^{}"]*\})?)=="([^"]*)")x"));
    const QStringList ttys = QDir(m_sys + QStringLiteral("/class/tty")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    QStringList matched;
    for (const QString &rule : QString::fromUtf8(rules.read(ruleBytes)).split(QLatin1Char('\n'))) {
        QList<std::pair<QString, QString>> keys;
        for (const QRegularExpressionMatch &match : keyValue.globalMatch(rule))
            keys.emplace_back(match.captured(1), match.captured(2));
        if (rule.trimmed().startsWith(QLatin1Char('#')) || keys.isEmpty())
            continue;
        for (const QString &tty : ttys) {
            if (ruleApplies(keys, tty))
                matched << m_dev + QLatin1Char('/') + tty;
        }
    }
    matched.removeDuplicates();
    return matched;
}

// What udev matches: SUBSYSTEM and KERNEL against the tty, the interface number
// usb_id finds against the USB interface above it, and KERNELS and ATTRS{...}
// all against one device on its sysfs path, the tty's own included.
bool ComPortMap::ruleApplies(const QList<std::pair<QString, QString>> &keys, const QString &ttyName) const
{
    QStringList interfaceWanted;
    QList<std::pair<QString, QString>> onOneDevice;
    for (const auto &[key, value] : keys) {
        if (key == QStringLiteral("SUBSYSTEM") || key == QStringLiteral("KERNEL")) {
            if (value != (key == QStringLiteral("KERNEL") ? ttyName : QStringLiteral("tty")))
                return false;
        } else if (key == QStringLiteral("ENV{ID_USB_INTERFACE_NUM}")) {
            interfaceWanted << value;
        } else if (key == QStringLiteral("KERNELS") || key.startsWith(QStringLiteral("ATTRS{"))) {
            onOneDevice.emplace_back(key, value);
        } else {
            return false;
        }
    }
    const QString top = QFileInfo(m_sys).canonicalFilePath() + QLatin1Char('/');
    QString interfaceNumber;
    bool deviceFound = onOneDevice.isEmpty();
    for (QString dir = QFileInfo(ttyDir(ttyName)).canonicalFilePath(); dir.startsWith(top); dir = QFileInfo(dir).path()) {
        if (interfaceNumber.isEmpty() && !interfaceWanted.isEmpty())
            interfaceNumber = sysfsValue(dir, QStringLiteral("/bInterfaceNumber"));
        deviceFound = deviceFound || std::ranges::all_of(onOneDevice, [&dir](const std::pair<QString, QString> &keyValue) {
            const auto &[key, value] = keyValue;
            return key == QStringLiteral("KERNELS") ? QFileInfo(dir).fileName() == value
                                                    : sysfsValue(dir, QLatin1Char('/') + key.mid(6).chopped(1)) == value;
        });
    }
    return deviceFound && std::ranges::all_of(interfaceWanted, [&interfaceNumber](const QString &wanted) { return wanted == interfaceNumber; });
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

// The ttys the kernel writes its messages to (console=ttyS0), as names.
QStringList ComPortMap::consoles() const
{
    QFile active(m_sys + QStringLiteral("/class/tty/console/active"));
    const QString listed = active.open(QIODevice::ReadOnly) ? QString::fromUtf8(active.read(ruleBytes)) : QString();
    return listed.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts) << QStringLiteral("console");
}

// A file that only bears a tty's name (a regular file, a FIFO, another device's node) is no port: the
// node's device number must be the one sysfs gives for that tty. Sysfs lists every tty but the pseudo
// terminals, known by their Unix98 major numbers. A device node is never opened here.
bool ComPortMap::isPort(const QString &device) const
{
    struct stat node{};
    if (device.isEmpty() || ::stat(QFile::encodeName(device).constData(), &node) != 0 || !S_ISCHR(node.st_mode))
        return false;
    const QString dir = ttyDir(QFileInfo(device).fileName());
    const unsigned nodeMajor = major(node.st_rdev);
    if (QFileInfo::exists(dir))
        return sysfsValue(dir, QStringLiteral("/dev")) == QStringLiteral("%1:%2").arg(nodeMajor).arg(minor(node.st_rdev));
    return nodeMajor >= firstPtyMajor && nodeMajor <= lastPtyMajor;
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
    const bool known = QFileInfo::exists(ttyDir(name));
    if ((known && isPhantom(name)) || !QFileInfo::exists(device))
        return lead + qs(texts::noDevice);
    if (!isPort(device)) {
        const QString unusable = unusableDeviceReason(device);
        return lead + (unusable.isEmpty() ? qs(texts::notSerialPort) : unusable);
    }
    if (consoles().contains(name))
        return lead + qs(systemConsole);

    const QString usb = usbDevice(name);
    QStringList model{attribute(usb, "/manufacturer"), attribute(usb, "/product")};
    model.removeAll(QString());
    return describeDevice(device, model.join(QLatin1Char(' ')), attribute(usb, "/serial"));
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

// As udev compares them: the attribute's bytes with trailing blanks dropped.
std::optional<ComPortMap::UsbIdentity> ComPortMap::rawUsbIdentity(const QString &device) const
{
    const QString name = QFileInfo(device).fileName();
    const QString usb = usbDevice(name);
    if (usb.isEmpty())
        return std::nullopt;
    const auto raw = [](const QString &dir, const char *file) {
        QFile attributeFile(dir + QLatin1String(file));
        return attributeFile.open(QIODevice::ReadOnly) ? attributeFile.read(attributeBytes).trimmed() : QByteArray();
    };
    QByteArray interface;
    for (QString dir = QFileInfo(ttyDir(name) + QStringLiteral("/device")).canonicalFilePath();
         interface.isEmpty() && dir.startsWith(usb); dir = QFileInfo(dir).path())
        interface = raw(dir, "/bInterfaceNumber");
    return UsbIdentity{raw(usb, "/idVendor"), raw(usb, "/idProduct"), raw(usb, "/serial"), interface,
                       QFileInfo(usb).fileName().toUtf8()};
}

std::optional<ComPortMap::UsbIdentity> ComPortMap::usbIdentity(const QString &device) const
{
    std::optional<UsbIdentity> identity = rawUsbIdentity(device);
    if (!identity)
        return identity;
    const auto sameSerial = [&](const QString &other) {
        const std::optional<UsbIdentity> found = rawUsbIdentity(other);
        return other != device && found && found->vendor == identity->vendor
            && found->product == identity->product && found->serial == identity->serial;
    };
    if (!identity->serial.isEmpty() && std::ranges::none_of(systemPorts(), sameSerial))
        identity->portPath.clear();
    return identity;
}

QString ComPortMap::deviceWithUsbIdentity(const UsbIdentity &identity) const
{
    const QStringList present = systemPorts();
    const auto found = std::ranges::find_if(present, [&](const QString &device) {
        std::optional<UsbIdentity> candidate = rawUsbIdentity(device);
        if (candidate && identity.portPath.isEmpty())
            candidate->portPath.clear();
        return candidate == identity;
    });
    return found == present.end() ? QString() : *found;
}

QString ComPortMap::ttyDir(const QString &ttyName) const
{
    return m_sys + QStringLiteral("/class/tty/") + ttyName;
}

#include "comportmap.h"

#include "qstringfrom.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

// Automatic numbering takes the kinds in this order, each by its number.
const QStringList kindOrder{QStringLiteral("ttyS"), QStringLiteral("ttyUSB"), QStringLiteral("ttyACM")};

// One sysfs attribute file of the device at dir; empty when there is none.
[[nodiscard]] QString attribute(const QString &dir, const char *file)
{
    QFile attributeFile(dir + QLatin1String(file));
    return !dir.isEmpty() && attributeFile.open(QIODevice::ReadOnly) ? QString::fromUtf8(attributeFile.readAll()).trimmed()
                                                                      : QString();
}

} // namespace

ComPortMap::ComPortMap(QString devRoot, QString sysRoot)
    : m_dev(std::move(devRoot))
    , m_sys(std::move(sysRoot))
{
}

QString ComPortMap::device(int comNumber) const
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(comNumber);
#else
    return comNumber >= 1 && comNumber <= comCount ? devices()[comNumber - 1] : QString();
#endif
}

std::array<QString, ComPortMap::comCount> ComPortMap::devices() const
{
    std::array<QString, comCount> chosen;
    // A dangling link has no canonical path and so claims nothing.
    for (int n = 1; n <= comCount; ++n)
        chosen[n - 1] = QFileInfo(m_dev + QStringLiteral("/COM%1").arg(n)).canonicalFilePath();
    QStringList unclaimed = systemPorts();
    unclaimed.removeIf([&chosen](const QString &port) { return std::ranges::find(chosen, port) != chosen.end(); });

    auto next = unclaimed.cbegin();
    for (int n = 1; n <= comCount; ++n) {
        if (chosen[n - 1].isEmpty())
            chosen[n - 1] = next != unclaimed.cend() ? *next++ : m_dev + QStringLiteral("/ttyS%1").arg(n - 1);
    }
    return chosen;
}

QStringList ComPortMap::systemPorts() const
{
    static const QRegularExpression pattern(QStringLiteral("^(ttyS|ttyUSB|ttyACM)(\\d+)$"));
    std::vector<std::tuple<qsizetype, int, QString>> found;
    const QStringList names = QDir(m_sys + QStringLiteral("/class/tty")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
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

QString ComPortMap::description(int comNumber) const
{
    return describe(device(comNumber));
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

QString ComPortMap::ttyDir(const QString &ttyName) const
{
    return m_sys + QStringLiteral("/class/tty/") + ttyName;
}

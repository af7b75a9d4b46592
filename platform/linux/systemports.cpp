#include "systemports.h"

#include "devicetexts.h"
#include "qstringfrom.h"

#include <QFileInfo>

namespace {

// Held by a channel whose device is away: its number names no device meanwhile, so that automatic
// numbering hands that number's device to no other box.
const QString awayMarker = QStringLiteral("\n");

[[nodiscard]] QString comName(int channel)
{
    return qs(texts::comLead) + QString::number(channel + 1);
}

} // namespace

SystemPorts::SystemPorts(ComPortMap comPorts)
    : m_comPorts(std::move(comPorts))
{
    for (int channel = 0; channel < count; ++channel)
        m_ports[channel] = std::make_unique<QtSerialPort>(static_cast<DeviceLocator &>(*this), channel);
    (void)m_watcher.addPaths(m_comPorts.watchedFolders()); // a folder that is not there changes nothing
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher, [this] { m_numbering.reset(); });
}

SystemPorts::~SystemPorts() = default;

SerialPort &SystemPorts::port(int channel)
{
    return *m_ports[channel];
}

// Asked on every poll tick: a waiting channel looks for its device here.
QString SystemPorts::description(int channel)
{
    const QtSerialPort &port = *m_ports[channel];
    if (port.isHungUp() && !reopen(channel))
        return comName(channel) + qs(texts::deviceSeparator) + m_opened[channel].device + qs(texts::awaitingReturnTail);
    if (port.openFailure() != QtSerialPort::OpenFailure::None && !m_opened[channel].device.isEmpty())
        return failureText(channel);
    return numbering()[channel].description;
}

// Worked out afresh at a first open, which is rare and must not act on a device that went away a moment
// ago; a reopen takes only the device the channel had.
QString SystemPorts::deviceToOpen(int channel)
{
    if (m_reopening == channel)
        return present(m_opened[channel]);
    m_numbering.reset();
    const QString device = numbering()[channel].device;
    const QString link = m_comPorts.link(channel + 1);
    const bool linked = !device.isEmpty() && QFileInfo(link).canonicalFilePath() == QFileInfo(device).canonicalFilePath();
    m_opened[channel] = {device, linked ? link : QString(), m_comPorts.usbIdentity(device)};
    return device;
}

QString SystemPorts::present(const Opened &opened) const
{
    if (!opened.link.isEmpty())
        return QFileInfo(opened.link).canonicalFilePath();
    if (!opened.usbIdentity.isEmpty())
        return m_comPorts.deviceWithUsbIdentity(opened.usbIdentity);
    return QFileInfo::exists(opened.device) ? opened.device : QString();
}

bool SystemPorts::reopen(int channel)
{
    if (present(m_opened[channel]).isEmpty())
        return false;
    m_reopening = channel;
    const bool reopened = m_ports[channel]->reopen();
    m_reopening.reset();
    return reopened;
}

QString SystemPorts::failureText(int channel) const
{
    const QtSerialPort &port = *m_ports[channel];
    QString reason;
    switch (port.openFailure()) {
    case QtSerialPort::OpenFailure::None:
    case QtSerialPort::OpenFailure::NoDevice: reason = qs(texts::noSuchDevice); break;
    case QtSerialPort::OpenFailure::Busy: reason = qs(texts::busyDevice); break;
    case QtSerialPort::OpenFailure::NoPermission: reason = qs(texts::noPermission); break;
    case QtSerialPort::OpenFailure::Driver: reason = qs(texts::driverErrorLead) + port.driverError(); break;
    }
    return m_opened[channel].device + qs(texts::deviceSeparator) + reason;
}

ComPortMap::HeldDevices SystemPorts::heldDevices() const
{
    ComPortMap::HeldDevices held;
    for (int channel = 0; channel < count; ++channel)
        held[channel] = m_ports[channel]->isHungUp() ? awayMarker : m_ports[channel]->openDevice();
    return held;
}

const SystemPorts::Numbering &SystemPorts::numbering()
{
    const ComPortMap::HeldDevices held = heldDevices();
    if (!m_numbering || held != m_numberedWith) {
        m_numbering = m_comPorts.ports(held);
        m_numberedWith = held;
    }
    return *m_numbering;
}

#include "systemports.h"

#include "porttexts.h"
#include "qstringfrom.h"
#include "qtserialtransport.h"

#include <QFileInfo>

namespace {

[[nodiscard]] std::unique_ptr<Transport> localTransport()
{
    return std::make_unique<QtSerialTransport>();
}

[[nodiscard]] QString comName(int channel)
{
    return qs(texts::comLead) + QString::number(channel + 1);
}

} // namespace

SystemPorts::SystemPorts(ComPortMap comPorts)
    : m_comPorts(std::move(comPorts)), m_remote(localTransport)
{
    for (auto &port : m_ports)
        port = std::make_unique<PortCore>(localTransport());
    (void)m_watcher.addPaths(m_comPorts.watchedFolders()); // a folder that is not there changes nothing
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher, [this] { m_numbering.reset(); });
}

SystemPorts::~SystemPorts() = default;

SerialPort &SystemPorts::port(int channel)
{
    return *m_ports[channel];
}

// Worked out afresh at an open, which is rare and must not act on a device that went away a moment ago.
bool SystemPorts::openPort(int channel)
{
    PortCore &port = *m_ports[channel];
    if (port.state() != PortCore::State::Closed)
        return false;
    m_opened[channel] = {};
    if (const std::optional<bool> remote = m_remote.open(channel, port))
        return *remote;
    m_numbering.reset();
    const QString device = numbering()[channel].device;
    const QString link = m_comPorts.link(channel + 1);
    const bool linked = !device.isEmpty() && QFileInfo(link).canonicalFilePath() == QFileInfo(device).canonicalFilePath();
    m_opened[channel] = {device, linked ? link : QString(), m_comPorts.usbIdentity(device)};
    port.setDevice(device);
    return port.setPortOpen(true);
}

void SystemPorts::resumeWaiting()
{
    for (int channel = 0; channel < count; ++channel) {
        PortCore &port = *m_ports[channel];
        if (m_remote.resume(channel, port) || port.state() != PortCore::State::Waiting)
            continue;
        const QString device = present(m_opened[channel]);
        if (!device.isEmpty())
            (void)port.resume(device);
    }
}

// Only a port counts as back: a node udev has not made yet, or a file left at the name, is still away.
QString SystemPorts::present(const Opened &opened) const
{
    QString device = opened.device;
    if (!opened.link.isEmpty())
        device = QFileInfo(opened.link).canonicalFilePath();
    else if (opened.usb)
        device = m_comPorts.deviceWithUsbIdentity(*opened.usb);
    return m_comPorts.isPort(device) ? device : QString();
}

// A refusal is shown only while it still speaks of the device that ticking the box would open.
QString SystemPorts::description(int channel) const
{
    const PortCore &port = *m_ports[channel];
    if (const std::optional<QString> remote = m_remote.description(channel, port))
        return *remote;
    if (port.state() == PortCore::State::Waiting)
        return waitingText(channel);
    const Numbering &numbered = numbering();
    if (port.state() == PortCore::State::Closed && !port.openFailure().isEmpty()
        && !port.device().isEmpty() && port.device() == numbered[channel].device)
        return port.device() + qs(texts::deviceSeparator) + port.openFailure();
    return numbered[channel].description;
}

// A device that is back but refuses to open says why, as after a first open.
QString SystemPorts::waitingText(int channel) const
{
    const PortCore &port = *m_ports[channel];
    const QString device = present(m_opened[channel]);
    if (!device.isEmpty() && !port.openFailure().isEmpty())
        return device + qs(texts::deviceSeparator) + port.openFailure();
    return comName(channel) + qs(texts::deviceSeparator) + m_opened[channel].device + qs(texts::awaitingReturnTail);
}

ComPortMap::HeldDevices SystemPorts::heldDevices() const
{
    ComPortMap::HeldDevices held;
    for (int channel = 0; channel < count; ++channel) {
        const PortCore &port = *m_ports[channel];
        if (port.state() == PortCore::State::Waiting)
            held[channel] = present(m_opened[channel]);
        else if (port.state() != PortCore::State::Closed)
            held[channel] = port.device();
    }
    return held;
}

const SystemPorts::Numbering &SystemPorts::numbering() const
{
    const ComPortMap::HeldDevices held = heldDevices();
    if (!m_numbering || held != m_numberedWith) {
        m_numbering = m_comPorts.ports(held);
        m_numberedWith = held;
    }
    return *m_numbering;
}

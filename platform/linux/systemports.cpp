#include "systemports.h"

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

QString SystemPorts::description(int channel)
{
    return numbering()[channel].description;
}

// Always worked out afresh: an open is rare, and must not act on a device that went away a moment ago.
QString SystemPorts::deviceToOpen(int channel)
{
    m_numbering.reset();
    return numbering()[channel].device;
}

ComPortMap::HeldDevices SystemPorts::heldDevices() const
{
    ComPortMap::HeldDevices held;
    for (int channel = 0; channel < count; ++channel)
        held[channel] = m_ports[channel]->openDevice();
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

#pragma once

#include <QString>

// A private mount namespace for this process and the children it starts
// afterwards, in which /dev/ttyS0 to /dev/ttyS3 are whatever the test binds
// over them and QSerialPort's lock directory is private.
//
// /dev is shadowed by a copy made of bind mounts of its entries, with empty
// files for the four port names, so that the ports exist even where the
// machine has fewer serial devices. The machine's own ttyS devices are never
// opened, nor bound into the copy: /dev/ttyS0 may be its console.
class PortNamespace final
{
public:
    static constexpr int portCount = 4;

    // Every step must succeed; failure() then says which did not.
    bool enter();
    [[nodiscard]] QString failure() const { return m_failure; }

    // Binds source (a pty slave, a plain file) over /dev/ttyS<port>, on top
    // of any earlier binding; unbind() takes the topmost one away again.
    bool bind(int port, const QString &source);
    bool unbind(int port);

    [[nodiscard]] static QString portPath(int port);

private:
    bool fail(const QString &step);
    bool shadowDeviceDirectory();
    bool privateLockDirectories();

    QString m_failure;
};

#pragma once

#include <QString>

// A private mount namespace for this process and its later children. /dev is
// shadowed by a copy made of bind mounts of its entries, with empty files for
// ttyS0..3 to bind ports over, so that they exist on any machine; the
// machine's own ttyS devices are never opened nor bound into the copy, since
// /dev/ttyS0 may be its console. The serial lock directories are private too.
class PortNamespace final
{
public:
    // Every step must succeed; failure() then says which did not.
    bool enter();
    [[nodiscard]] QString failure() const { return m_failure; }

    // Binds source (a pty slave, a plain file) over /dev/ttyS<port>, on top
    // of any earlier binding; unbind() takes the topmost one away again.
    bool bind(int port, const QString &source);
    bool unbind(int port);

private:
    bool fail(const QString &step);
    bool shadowDeviceDirectory();

    QString m_failure;
};

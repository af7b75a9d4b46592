#include "remotedescription.h"

#include "qstringfrom.h"
#include "porttexts.h"

namespace {

[[nodiscard]] QString lead(int comNumber)
{
    return QStringLiteral("COM%1").arg(comNumber) + qs(texts::deviceSeparator);
}

} // namespace

QString describeRemotePort(int comNumber, const QString &address, PortCore::State state, const QString &failure)
{
    const QString described = lead(comNumber) + address;
    switch (state) {
    case PortCore::State::Opening: return described + qs(texts::deviceSeparator) + qs(texts::remoteOpening);
    case PortCore::State::Waiting: return described + qs(texts::deviceSeparator) + qs(texts::remoteWaiting);
    case PortCore::State::Open: return described;
    case PortCore::State::Closed: break;
    }
    return failure.isEmpty() ? described : described + qs(texts::deviceSeparator) + failure;
}

QString describeBrokenMapping(int comNumber, const QString &error)
{
    return lead(comNumber) + qs(texts::remoteMappingBroken) + error;
}

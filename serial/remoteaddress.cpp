#include "remoteaddress.h"

#include "qstringfrom.h"
#include "porttexts.h"

#include <QHostAddress>
#include <QUrl>

#include <algorithm>

#include <algorithm>

namespace {

constexpr qsizetype maxAddressLength = 1024;
constexpr QStringView plainScheme = u"rfc2217://";
constexpr QStringView tlsScheme = u"rfc2217+tls://";
constexpr QStringView caOption = u"ca=";

[[nodiscard]] RemoteAddressParse refused(std::string_view why)
{
    return {std::nullopt, qs(why)};
}

// Letters of any script are let through as an international name; blanks, controls and URL syntax not.
[[nodiscard]] bool isHostName(QStringView host)
{
    const bool plain = std::all_of(host.begin(), host.end(), [](QChar c) {
        return c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u'_';
    });
    return plain && !QUrl::toAce(host.toString()).isEmpty();
}

[[nodiscard]] std::optional<quint16> parsePort(QStringView text)
{
    const bool digits = !text.isEmpty() && text.size() <= 5
                        && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const int port = digits ? text.toInt() : 0;
    return port >= 1 && port <= 65535 ? std::optional(quint16(port)) : std::nullopt;
}

// "[v6]:port" or "host:port"; the host comes back without its brackets.
[[nodiscard]] RemoteAddressParse parseHostPort(QStringView text, RemoteAddress address)
{
    qsizetype colon = -1;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        address.host = text.sliced(1, std::max<qsizetype>(close - 1, 0)).toString();
        if (close < 0 || QHostAddress(address.host).protocol() != QAbstractSocket::IPv6Protocol)
            return refused(texts::addressBadHost);
        colon = close + 1 < text.size() && text[close + 1] == u':' ? close + 1 : -1;
        if (colon < 0 && close + 1 < text.size())
            return refused(texts::addressBadHost);
    } else {
        colon = text.indexOf(u':');
        address.host = text.first(colon < 0 ? text.size() : colon).toString();
        if (colon >= 0 && text.indexOf(u':', colon + 1) >= 0)
            return refused(texts::addressIpv6Brackets);
        if (address.host.isEmpty())
            return refused(texts::addressNoHost);
        if (!isHostName(address.host))
            return refused(texts::addressBadHost);
    }
    if (colon < 0)
        return refused(texts::addressNoPort);
    const std::optional<quint16> port = parsePort(text.sliced(colon + 1));
    if (!port)
        return refused(texts::addressBadPort);
    address.port = *port;
    return {address, {}};
}

} // namespace

QString RemoteAddress::text() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    QString text = (tls ? tlsScheme : plainScheme).toString() + shownHost + u':' + QString::number(port);
    return caFile.isEmpty() ? text : text + u'?' + caOption.toString() + caFile;
}

RemoteAddressParse RemoteAddressParse::from(QStringView typed)
{
    const QStringView text = typed.trimmed();
    if (text.isEmpty())
        return refused(texts::addressEmpty);
    if (text.size() > maxAddressLength)
        return refused(texts::addressTooLong);
    RemoteAddress address;
    address.tls = text.startsWith(tlsScheme, Qt::CaseInsensitive);
    const QStringView scheme = address.tls ? tlsScheme : plainScheme;
    if (!text.startsWith(scheme, Qt::CaseInsensitive))
        return refused(texts::addressScheme);
    QStringView rest = text.sliced(scheme.size());
    if (const qsizetype question = rest.indexOf(u'?'); question >= 0) {
        const QStringView option = rest.sliced(question + 1);
        if (!option.startsWith(caOption) || option.size() == caOption.size()
            || std::any_of(option.begin(), option.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
            return refused(texts::addressBadOption);
        if (!address.tls)
            return refused(texts::addressCaWithoutTls);
        address.caFile = option.sliced(caOption.size()).toString();
        rest = rest.first(question);
    }
    return parseHostPort(rest, address);
}

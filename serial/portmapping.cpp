#include "portmapping.h"

#include "qstringfrom.h"
#include "porttexts.h"

#include <QSettings>

#include <memory>

namespace {

[[nodiscard]] bool isComNumber(int comNumber)
{
    return comNumber >= 1 && comNumber <= 4;
}

[[nodiscard]] QString keyOf(int comNumber)
{
    return QStringLiteral("ports/COM%1").arg(comNumber);
}

// Only the file of the scope asked for: Qt would otherwise also read the organisation's files.
[[nodiscard]] std::unique_ptr<QSettings> file(QSettings::Scope scope)
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, scope, QStringLiteral("velmora"),
                                                QStringLiteral("ports"));
    settings->setFallbacksEnabled(false);
    return settings;
}

[[nodiscard]] bool written(QSettings &settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

std::optional<RemoteAddressParse> PortMapping::read(int comNumber)
{
    if (!isComNumber(comNumber))
        return std::nullopt;
    QVariant entry = file(QSettings::UserScope)->value(keyOf(comNumber));
    if (!entry.isValid())
        entry = file(QSettings::SystemScope)->value(keyOf(comNumber));
    if (!entry.isValid() || (entry.typeId() == QMetaType::QString && entry.toString().isEmpty()))
        return std::nullopt;
    if (entry.typeId() != QMetaType::QString)
        return RemoteAddressParse{std::nullopt, qs(texts::mappingNotText)};
    return RemoteAddressParse::from(entry.toString());
}

bool PortMapping::store(int comNumber, const RemoteAddress &address)
{
    if (!isComNumber(comNumber))
        return false;
    const auto user = file(QSettings::UserScope);
    user->setValue(keyOf(comNumber), address.text());
    return written(*user);
}

bool PortMapping::makeLocal(int comNumber)
{
    if (!isComNumber(comNumber))
        return false;
    const auto user = file(QSettings::UserScope);
    if (file(QSettings::SystemScope)->contains(keyOf(comNumber)))
        user->setValue(keyOf(comNumber), QString());
    else
        user->remove(keyOf(comNumber));
    return written(*user);
}

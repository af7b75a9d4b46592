#include "devicedescription.h"

#include "porttexts.h"
#include "qstringfrom.h"

#include <QList>

#include <algorithm>

namespace {

constexpr qsizetype textLength = 64;

} // namespace

QString deviceText(QStringView raw)
{
    QList<uint> chars = raw.toString().simplified().toUcs4();
    chars.resize(std::min(chars.size(), textLength));
    std::ranges::replace_if(chars, [](uint c) { return !QChar::isPrint(c); }, uint{QChar::ReplacementCharacter});
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), chars.size());
}

QString describeDevice(const QString &lead, const QString &model, const QString &serial)
{
    return lead + qs(texts::deviceSeparator) + (model.isEmpty() ? qs(texts::plainSerialPort) : model)
         + (serial.isEmpty() ? QString() : qs(texts::serialNumberLead) + serial);
}

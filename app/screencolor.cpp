#include "screencolor.h"

#include <QGuiApplication>
#include <QWidget>

namespace {

constexpr quint32 systemColorBit = 0x80000000;
// The classic light grey of an active window's border; no palette role matches it.
constexpr QRgb activeBorderGrey = qRgb(0xD4, 0xD0, 0xC8);

[[nodiscard]] QColor systemColor(quint32 code)
{
    const QPalette palette = QGuiApplication::palette();
    switch (ColorCode(code)) {
    case ColorCode::WindowBackground:
        return palette.color(QPalette::Base);
    case ColorCode::ButtonFace:
        return palette.color(QPalette::Button);
    case ColorCode::ActiveBorder:
        return QColor(activeBorderGrey);
    default:
        return palette.color(QPalette::Window);
    }
}

} // namespace

QColor screenColor(quint32 code)
{
    if (code & systemColorBit)
        return systemColor(code);
    return QColor(int(code & 0xFF), int((code >> 8) & 0xFF), int((code >> 16) & 0xFF));
}

QColor screenColor(ColorCode code)
{
    return screenColor(static_cast<quint32>(code));
}

void paintRole(QWidget &widget, QPalette::ColorRole role, ColorCode code)
{
    QPalette palette = widget.palette();
    palette.setColor(role, screenColor(code));
    widget.setPalette(palette);
    const char *property = role == QPalette::WindowText || role == QPalette::Text ? "foreColor" : "backColor";
    widget.setProperty(property, static_cast<quint32>(code));
}

#include "layoutfont.h"

#include "qstringfrom.h"
#include "windowlayout.h"

#include <QFontMetrics>

namespace {

constexpr double smallestPointSize = 6.0;
constexpr double step = 0.5;
constexpr int lineHeight = 17; // the height of every one-line label of the layout

[[nodiscard]] bool fits(const QFontMetrics &metrics, std::string_view caption, int width)
{
    return metrics.horizontalAdvance(qs(caption)) <= width;
}

[[nodiscard]] bool captionsFit(const QFont &font)
{
    using namespace windowlayout;
    const QFontMetrics metrics(font);
    if (metrics.height() > lineHeight)
        return false;
    for (const PinRow &row : pinRows) {
        if (!fits(metrics, row.caption, pinDescriptionRect(row.pin).width))
            return false;
    }
    for (const SettingsRow &row : settingsRows) {
        if (!fits(metrics, row.labelCaption, settingsLabelRect(row).width))
            return false;
    }
    const int handshakingWidth = settingsLabelRect(settingsRows.back()).width;
    for (const ChannelControls &channel : channelControls) {
        if (!fits(metrics, channel.handshakingCaption, handshakingWidth))
            return false;
    }
    return fits(metrics, texts::columnHeader, columnHeaderRect.width)
        && fits(metrics, texts::upperDigitRow, upperDigitRowRect.width)
        && fits(metrics, texts::lowerDigitRow, lowerDigitRowRect.width);
}

} // namespace

QFont layoutFont(QFont font)
{
    if (font.pointSizeF() <= 0)
        return font; // sized in pixels by the platform: left as it is
    while (!captionsFit(font) && font.pointSizeF() - step >= smallestPointSize)
        font.setPointSizeF(font.pointSizeF() - step);
    return font;
}

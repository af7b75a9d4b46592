#include "groupframestyle.h"

#include <QPainter>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

namespace {

// Qt's raster engine hands a fill of (rows + 32) / 64 > 1 parts, 96 rows or more, to its thread pool.
constexpr qreal rowsForOneThread = 95;

} // namespace

GroupFrameStyle::GroupFrameStyle(const QString &key)
    : QProxyStyle(key)
{
}

void GroupFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                    const QWidget *widget) const
{
    if (element != PE_FrameGroupBox || option == nullptr || painter == nullptr) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const qreal scale = painter->device()->devicePixelRatioF() * std::abs(painter->worldTransform().m22());
    const int band = std::max(1, int(rowsForOneThread / std::max<qreal>(scale, 1)));
    const QRect frame = option->rect;
    for (int top = frame.top(); top <= frame.bottom(); top += band) {
        painter->save();
        painter->setClipRect(QRect(frame.left(), top, frame.width(), band), Qt::IntersectClip);
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        painter->restore();
    }
}

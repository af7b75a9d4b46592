#include "circleshape.h"

#include "screencolor.h"

#include <QPainter>

CircleShape::CircleShape(QWidget *parent)
    : QWidget(parent)
{
}

void CircleShape::setBackColor(uint code)
{
    if (code == m_backColor)
        return; // an idle poll tick must not repaint
    m_backColor = code;
    update();
}

void CircleShape::paintEvent(QPaintEvent * /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(screenColor(m_backColor));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

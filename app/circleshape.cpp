#include "circleshape.h"

#include "qstringfrom.h"
#include "screencolor.h"
#include "windowtexts.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace {

// Without a role of its own a painted circle is a mere filler to a screen reader.
QAccessibleInterface *indicatorInterface(const QString &className, QObject *object)
{
    return className == QLatin1String("CircleShape") ? new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic)
                                                     : nullptr;
}

} // namespace

CircleShape::CircleShape(QWidget *parent)
    : QWidget(parent)
{
    static const bool factoryInstalled = (QAccessible::installFactory(indicatorInterface), true);
    Q_UNUSED(factoryInstalled);
    describeState();
}

void CircleShape::setBackColor(uint code)
{
    if (code == m_backColor)
        return; // an idle poll tick must not repaint
    m_backColor = code;
    describeState();
    update();
}

// A screen reader hears a change of colour as a change of this description.
void CircleShape::describeState()
{
    const bool idle = m_backColor == static_cast<uint>(ColorCode::WindowBackground);
    setAccessibleDescription(qs(idle ? texts::stateOff : texts::stateOn));
}

void CircleShape::paintEvent(QPaintEvent * /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(screenColor(m_backColor));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

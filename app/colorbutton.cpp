#include "colorbutton.h"

#include "screencolor.h"

ColorButton::ColorButton(QWidget *parent)
    : QPushButton(parent)
{
    applyStyle();
}

void ColorButton::setBackColor(uint code)
{
    if (code == m_backColor)
        return; // an idle poll tick must not repaint
    m_backColor = code;
    applyStyle();
}

// Styles such as Fusion draw their own gradient over a palette colour; a style
// sheet with a border is what makes every style show the colour.
void ColorButton::applyStyle()
{
    const QString face = screenColor(m_backColor).name();
    const QString edge = palette().color(QPalette::Dark).name();
    setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid %2; padding: 0px; }"
                                 "QPushButton:pressed { border-style: inset; }")
                      .arg(face, edge));
}

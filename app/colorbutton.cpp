#include "colorbutton.h"

#include "qstringfrom.h"
#include "screencolor.h"
#include "windowtexts.h"

ColorButton::ColorButton(QWidget *parent)
    : QPushButton(parent)
{
    applyStyle();
    describeState();
}

void ColorButton::setBackColor(uint code)
{
    if (code == m_backColor)
        return; // an idle poll tick must not repaint
    m_backColor = code;
    applyStyle();
    describeState();
}

// The colour is the line's state; a screen reader is told it in words.
void ColorButton::describeState()
{
    const bool off = m_backColor == static_cast<uint>(ColorCode::ButtonFace);
    setAccessibleDescription(qs(off ? texts::stateOff : texts::stateOn));
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

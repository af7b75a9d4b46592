#pragma once

#include "colorcode.h"

#include <QPushButton>

// A push button without caption that shows its background colour, a platform colour code.
class ColorButton final : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(uint backColor READ backColor WRITE setBackColor)
public:
    explicit ColorButton(QWidget *parent = nullptr);

    [[nodiscard]] uint backColor() const { return m_backColor; }
    void setBackColor(uint code);

private:
    void applyStyle();
    void describeState();

    uint m_backColor = static_cast<uint>(ColorCode::ButtonFace);
};

#pragma once

#include "colorcode.h"

#include <QWidget>

// A pin indicator: a filled circle with a thin outline, its fill a platform colour code.
class CircleShape final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(uint backColor READ backColor WRITE setBackColor)
public:
    explicit CircleShape(QWidget *parent = nullptr);

    [[nodiscard]] uint backColor() const { return m_backColor; }
    void setBackColor(uint code);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describeState();

    uint m_backColor = static_cast<uint>(ColorCode::WindowBackground);
};

#pragma once

#include "colorcode.h"

#include <QColor>
#include <QPalette>

class QWidget;

// The one place where a platform colour code becomes a colour on screen.
// System colours follow the application palette; the rest are blue-green-red.
[[nodiscard]] QColor screenColor(quint32 code);
[[nodiscard]] QColor screenColor(ColorCode code);

// Gives a widget a fixed colour for one palette role, keeping the code it came
// from in the widget's "backColor" (or, for text, "foreColor") property.
void paintRole(QWidget &widget, QPalette::ColorRole role, ColorCode code);

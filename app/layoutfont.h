#pragma once

#include <QFont>

// The layout's rectangles were measured for a narrow 8-point system font. This
// gives the font of the window's client area: the platform's default family at
// the largest size, no larger than the default, at which every fixed caption fits.
[[nodiscard]] QFont layoutFont(QFont font);

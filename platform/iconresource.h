#pragma once

#include <QImage>
#include <QString>

// The program's icon resource of that name at a size of size × size pixels, scaled by the system from
// its one picture; a null image where the program has no such resource.
[[nodiscard]] QImage iconResource(const QString &name, int size);

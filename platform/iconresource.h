#pragma once

#include <QImage>
#include <QString>

// The program's icon resource of that name at a size of size × size device pixels, scaled down by the
// system from its one large picture; a null image where the program has no such resource.
[[nodiscard]] QImage iconResource(const QString &name, int size);

#include "iconresource.h"

// The icons are Qt resources here, compiled into the program under their own names.
QImage iconResource(const QString &name, int size)
{
    const QImage image(QStringLiteral(":/") + name);
    if (image.isNull())
        return {};
    return image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

#include "iconresource.h"

#include <windows.h>

// LR_SHARED is not asked for: a shared icon comes from the cache at whatever size it was first loaded.
QImage iconResource(const QString &name, int size)
{
    const auto icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), reinterpret_cast<LPCWSTR>(name.utf16()),
                                                      IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    if (icon == nullptr)
        return {};
    QImage image = QImage::fromHICON(icon);
    ::DestroyIcon(icon);
    return image;
}

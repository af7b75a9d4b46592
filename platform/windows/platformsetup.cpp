#include "platformsetup.h"

#include <QByteArray>

#include <windows.h>

// Under Wine, Qt's GDI font engine draws no text in line edits and combo boxes; FreeType draws it. A
// platform the user chose is left alone.
void preparePlatform()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const bool underWine = ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    if (underWine && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("windows:fontengine=freetype"));
}

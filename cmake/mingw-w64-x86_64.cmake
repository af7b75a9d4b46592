# Cross-building for 64-bit Windows with Debian's MinGW-w64 (POSIX threads). VELMORA_QT_MINGW, when set,
# is the prefix of a qtbase built for this target (scripts/build-qt-mingw.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
if(DEFINED ENV{VELMORA_QT_MINGW})
    list(APPEND CMAKE_FIND_ROOT_PATH $ENV{VELMORA_QT_MINGW})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No Linux library may ever be found through pkg-config.
set(ENV{PKG_CONFIG_LIBDIR} /nonexistent)

#!/usr/bin/env bash
# Builds qtbase for 64-bit Windows (MinGW-w64) from Debian's own source package, with Debian's Linux Qt
# of the same version as its host tools, and keeps it under /var/cache/velmora. A build whose version
# and options match is reused; prints the prefix on its last line.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/+.*//')
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
cache=${VELMORA_CACHE:-/var/cache/velmora}

features_off=(sql dbus opengl opengl_dynamic vulkan printsupport concurrent xml icu glib zstd jpeg gif
              tabletevent pkg_config system_zlib system_pcre2 system_png system_harfbuzz system_freetype
              system_doubleconversion system_jpeg system_libb2 system_textmarkdownreader sql_sqlite
              direct2d)
options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
         -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
         -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
         -DQT_BUILD_BENCHMARKS=OFF -DINPUT_opengl=no -DFEATURE_testlib=ON -DFEATURE_network=ON
         -DFEATURE_widgets=ON -DFEATURE_style_windowsvista=ON)
for f in "${features_off[@]}"; do options+=("-DFEATURE_$f=OFF"); done

# Without Direct2D the DirectWrite font database of the platform plugin is left out, but two places
# still ask for it.
patch_directwrite='s/#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/'

# The prefix's name carries the version and a digest of the options and of the patch, so a change of
# either builds afresh beside the old one.
digest=$(printf '%s\n' "$qt_version" "${options[@]}" "$patch_directwrite" | sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-mingw-$digest
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

# The cache is the machine's; a user who may sudo gets it made theirs.
if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
    sudo mkdir -p "$cache" && sudo chown "$(id -u):$(id -g)" "$cache"
fi
work=$cache/work-$digest
rm -rf "$work" && mkdir -p "$work/lists/partial" "$work/archives/partial"
echo "deb-src http://deb.debian.org/debian $release main" > "$work/sources.list"
apt_private=(-o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=/dev/null
             -o Dir::State::Lists="$work/lists" -o Dir::Cache::archives="$work/archives")
apt-get "${apt_private[@]}" update -q >&2
(cd "$work" && apt-get "${apt_private[@]}" source --download-only "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev)" >&2)
tar -C "$work" -xf "$work"/qt6-base_*.orig.tar.*
src=$(find "$work" -maxdepth 1 -type d -name 'qtbase-*' | head -n 1)

patched=$src/src/plugins/platforms/windows/qwindowsintegration.cpp
sed -i "$patch_directwrite" "$patched"
# A patch that no longer matches changes nothing, silently, and the build fails at its last link, half an
# hour later: it must have left no bare directwrite3 condition and made at least one.
if grep -q '^#if QT_CONFIG(directwrite3)$' "$patched" \
    || ! grep -q '^#if QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)$' "$patched"; then
    echo "build-qt-mingw: the DirectWrite patch did not take effect in $patched" >&2
    exit 1
fi

cmake -S "$src" -B "$work/build" "${options[@]}" -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >&2
cmake --build "$work/build" -j"$(nproc)" >&2
cmake --install "$work/build" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"

#!/usr/bin/env bash
# Builds Velmora for 64-bit Windows in build/windows, runs its tests under Wine, and makes the setup
# program and the portable zip, whose setup it then runs and tries under Wine. Installs nothing: run
# scripts/install-deps.sh --tests first. The Qt for MinGW comes from scripts/build-qt-mingw.sh (about
# 45 minutes the first time, cached under /var/cache/velmora after). The Wine prefix is made, or brought up to date,
# with every COM number a test can reach mapped to a pty link of the build and all others blocked, before
# any Windows program runs; no wineserver or socat of this build is left running when the script ends.
# Exits non-zero on any failure. Environment: JOBS (default: the number of cores).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build/windows
jobs=${JOBS:-$(nproc)}

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
finish() {
    local status=$?
    if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; fi
    for pidFile in "$build"/ports/*.pid; do
        [ -f "$pidFile" ] || continue
        pid=$(cat "$pidFile")
        [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = socat ] && kill "$pid"
        rm -f "$pidFile"
    done
    exit "$status"
}
trap finish EXIT

qt=$(nice bash "$here/scripts/build-qt-mingw.sh" | tail -n 1)
[ -f "$qt/.complete" ] || { echo "build-windows: no Qt for MinGW at '$qt'" >&2; exit 1; }
export VELMORA_QT_MINGW=$qt

start=$(date +%s)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
      -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
      -DCMAKE_CROSSCOMPILING_EMULATOR="$here/tests/windows/wine-run.sh"
nice cmake --build "$build" -j"$jobs"
echo "build-windows: built in $(($(date +%s) - start)) s"

# The ports the tests use, as wine-run.env (written by tests/windows/CMakeLists.txt) names them.
# shellcheck source=/dev/null
. "$build/wine-run.env"
mkdir -p "$(dirname "${VELMORA_PORTS[0]}")"
"$here/scripts/wine-prefix.sh" "$VELMORA_WINEPREFIX" "${VELMORA_PORTS[@]}"

# One Wine program at a time: the tests share the prefix, and tst_winserialport the null modem.
start=$(date +%s)
nice ctest --test-dir "$build" --output-on-failure -j1
echo "build-windows: tests ran in $(($(date +%s) - start)) s"

# The setup program and the portable zip, and the setup run silently in a fresh prefix of its own, with
# the installed program driven on Xvfb.
rm -f "$build"/Velmora-*-setup.exe "$build"/Velmora-*-win64.zip
(cd "$build" && nice cpack -G "NSIS;ZIP")
# What a user unpacks from the zip must come stripped, as what the setup installs does.
unpacked=$build/zip-check && rm -rf "$unpacked" && unzip -q "$build"/Velmora-*-win64.zip -d "$unpacked"
unstripped=$(find "$unpacked" -iname '*.dll' -o -iname '*.exe' | while read -r file; do
    ! x86_64-w64-mingw32-objdump -h "$file" | grep -q '\.debug_' || echo "${file#"$unpacked"/}"; done)
rm -rf "$unpacked"
[ -z "$unstripped" ] || { echo "build-windows: the zip's" $unstripped "keep their symbols" >&2; exit 1; }
bash "$here/tests/windows/endtoend.sh" "$build"/Velmora-*-setup.exe
echo "build-windows: the setup program and the zip are $(echo "$build"/Velmora-*-setup.exe "$build"/Velmora-*-win64.zip)"

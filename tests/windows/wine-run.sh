#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGUMENTS...]: CTest's CMAKE_CROSSCOMPILING_EMULATOR. Runs a test program
# under Wine with what wine-run.env, beside it in the build, names. A prefix not yet made is made
# first (scripts/wine-prefix.sh), so that no COM number ever reaches a device of this machine. Wine
# hands the program no QT_* variable: each goes as WINEQT_*. Exits with the program's status once
# the prefix's wineserver has gone, after ending any socat a null modem left behind.
build=${1%/*}
. "$build/wine-run.env" || exit 1
# Qt's offscreen platform has no font of its own on Windows: it is given DejaVu Sans, as fontconfig
# gives it on Linux, alone so that every family asked for comes out as that one.
export QT_QPA_FONTDIR=$build/fonts
mkdir -p "$QT_QPA_FONTDIR" &&
    ln -sf /usr/share/fonts/truetype/dejavu/DejaVuSans{,-Bold}.ttf "$QT_QPA_FONTDIR"
for name in ${!QT_*}; do export "WINE$name=${!name}"; done
export WINEPREFIX=$VELMORA_WINEPREFIX WINEPATH=$VELMORA_WINEPATH WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" WINEQT_FORCE_STDERR_LOGGING=1
ports=${VELMORA_PORTS%/*} && mkdir -p "$ports"
# A prefix that wine-prefix.sh made has the COM numbers past the mapped ones blocked by folders.
[ -d "$WINEPREFIX/dosdevices/com256" ] || flock "$WINEPREFIX.lock" \
    "${0%/*}/../../scripts/wine-prefix.sh" "$WINEPREFIX" "${VELMORA_PORTS[@]}" || exit 1

# The wineserver takes the first COM port it opens as its terminal, and at that pty's hang-up
# dumps all its objects, tens of megabytes, to its standard error: not among the test's output.
wineserver 2>/dev/null
wine "$@"; status=$?
wineserver -w
pkill -x -F "$ports/socat.pid" socat 2>/dev/null
rm -f "$ports/socat.pid"
exit $status

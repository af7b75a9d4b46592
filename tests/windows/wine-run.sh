#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGUMENTS...]
#
# Runs one Windows program of the build under Wine; CTest's CMAKE_CROSSCOMPILING_EMULATOR. The
# build's wine-run.env (found in the program's folder or above) names the Wine prefix, the Qt and
# MinGW DLL folders, the ports COM1, COM2... stand for and the fonts of Qt's offscreen platform. A
# prefix not yet made is made first (scripts/wine-prefix.sh), so that no program ever runs in one
# where a COM number reaches a device of this machine. Every QT_* variable is passed on as WINEQT_*,
# Wine handing the program none of them. Exits with the program's exit code once the prefix's
# wineserver has gone (Debian's wineserver lingers for no one), and ends any socat a test started
# for its null modem and left behind.
set -uo pipefail
program=$1; shift
[ -f "$program" ] || { echo "wine-run.sh: no program $program" >&2; exit 1; }

settings=$(cd "$(dirname "$program")" && pwd)
while [ "$settings" != / ] && [ ! -f "$settings/wine-run.env" ]; do
    settings=$(dirname "$settings")
done
[ -f "$settings/wine-run.env" ] ||
    { echo "wine-run.sh: no wine-run.env above $program" >&2; exit 1; }
# shellcheck source=/dev/null
# VELMORA_WINEPREFIX, VELMORA_WINEPATH, VELMORA_PORTS (an array), VELMORA_FONTDIR
. "$settings/wine-run.env"

[ "${QT_QPA_PLATFORM:-}" = offscreen ] && export QT_QPA_FONTDIR=${QT_QPA_FONTDIR:-$VELMORA_FONTDIR}
while IFS= read -r -d '' variable; do
    [[ $variable == QT_* ]] && export "WINE$variable"
done < <(env -0)
export WINEPREFIX=$VELMORA_WINEPREFIX WINEPATH=$VELMORA_WINEPATH WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEQT_FORCE_STDERR_LOGGING=1
ports=$(dirname "${VELMORA_PORTS[0]}") && mkdir -p "$ports"
# A made prefix has every COM number past the mapped ones blocked by a folder.
(flock 9; [ -d "$WINEPREFIX/dosdevices/com$((${#VELMORA_PORTS[@]} + 1))" ] ||
    "$(dirname "$0")/../../scripts/wine-prefix.sh" "$WINEPREFIX" "${VELMORA_PORTS[@]}") \
    9> "$WINEPREFIX.lock" || exit 1

# The wineserver takes the first COM port it opens as its controlling terminal, and at the SIGHUP of
# that pty's hang-up dumps all its objects, tens of megabytes, to its standard error: not among the
# test's output.
wineserver 2>/dev/null || true
wine "$program" "$@"; status=$?
wineserver -w
# A test that plays with a null modem leaves its socat's process id here; one it could not end is
# ended now.
[ -n "${VELMORA_NULL_MODEM:-}" ] && pid=$(cat "$ports/socat.pid" 2>/dev/null) &&
    rm -f "$ports/socat.pid" && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = socat ] && kill "$pid"
exit $status

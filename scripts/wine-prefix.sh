#!/usr/bin/env bash
# wine-prefix.sh PREFIX PATH1 [PATH2 ...]
#
# Makes the Wine prefix PREFIX, or brings an existing one up to date, for running Velmora and its tests:
# COM1 is PATH1, COM2 is PATH2 and so on (ptys, or socat link= paths to them), and no other COM number
# names any device. Wine would otherwise give COM1 /dev/ttyS0, which may be the machine's console, and
# the next free numbers to every /dev/ttyS*, ttyUSB* and ttyACM*. The dialog font is DejaVu Sans, so that
# Latin and Cyrillic text match. Ends with no wineserver running for the prefix.
#
# Environment: WINE (default wine), WINESERVER (default wineserver).
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX PTY1 [PTY2 ...]" >&2
    exit 2
fi
prefix=$1
shift
ports=("$@")
wine=${WINE:-wine}
wineserver=${WINESERVER:-wineserver}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
maxPorts=256 # mountmgr's highest COM number

stop() { "$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true; }
trap stop EXIT
stop

# Wine only creates the drive links itself when it creates dosdevices; it is made here so that the COM
# numbers are blocked before anything in the prefix runs.
if [ ! -f "$prefix/system.reg" ] && [ ! -d "$prefix/dosdevices" ]; then
    mkdir -p "$prefix/dosdevices" "$prefix/drive_c"
    ln -s ../drive_c "$prefix/dosdevices/c:"
    ln -s / "$prefix/dosdevices/z:"
fi

# mountmgr replaces a link it finds at dosdevices/comN, but a directory there makes it give up that number.
for ((n = 1; n <= maxPorts; n++)); do
    link=$prefix/dosdevices/com$n
    if [ -L "$link" ] || [ -f "$link" ]; then rm -f "$link"; fi
    mkdir -p "$link"
done

if [ ! -f "$prefix/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1
fi

settings=$(mktemp)
{
    printf 'REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for i in "${!ports[@]}"; do
        printf '"COM%d"="%s"\n' $((i + 1)) "${ports[$i]}"
    done
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\n'
    for face in "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma"; do
        printf '"%s"="DejaVu Sans"\n' "$face"
    done
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine]\n"Version"="win10"\n'
} > "$settings"
"$wine" regedit /S "Z:${settings//\//\\}" >/dev/null 2>&1
rm -f "$settings"
stop

for i in "${!ports[@]}"; do
    rmdir "$prefix/dosdevices/com$((i + 1))"
done

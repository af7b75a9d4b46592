#!/bin/bash
# The setup program run silently in a fresh Wine prefix, then the installed program on a private X server
# with COM1 to COM4 on pseudo terminals: the setup must put velmora.exe under Program Files with a
# Start-menu shortcut; the program must show its dated Russian title, open COM1 when its box is ticked,
# send the TD text there and end on Alt+F4. Leaves a screenshot beside the setup program.
# Usage: endtoend.sh <Velmora-…-setup.exe>
set -u; fail() { echo "FAIL: $*" >&2; exit 1; }
setup=$(realpath -e "${1-}") || fail "no setup program at '${1-}'"
here=$(cd "$(dirname "$0")" && pwd)
soon() { for _ in $(seq 150); do "$@" && return; sleep 0.2; done; false; }

tmp=$(mktemp -d /tmp/velmora-wine-e2e.XXXXXX) pids=()
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
finish() { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"; }
trap finish EXIT

# Every COM number the program can reach is a pty before anything runs in the prefix; COM1's far end
# copies what arrives to a file.
for n in 1 2 3 4; do
    socat -u PTY,link="$tmp/pty$n",rawer OPEN:"$tmp/far$n",creat,trunc 2>/dev/null & pids+=($!)
done
soon [ -e "$tmp/pty4" ] && soon [ -e "$tmp/pty1" ] || fail "no ptys"
bash "$here/../../scripts/wine-prefix.sh" "$WINEPREFIX" "$tmp/pty1" "$tmp/pty2" "$tmp/pty3" "$tmp/pty4" || fail "no Wine prefix"

LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 timeout 120 wine "$setup" /S || fail "the setup program failed"
wineserver -w
program="$WINEPREFIX/drive_c/Program Files/Velmora/velmora.exe"
[ -f "$program" ] || fail "nothing installed at C:\\Program Files\\Velmora\\velmora.exe"
find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmora/Velmora.lnk' | grep -q . || fail "no Start-menu shortcut"

timeout 120 Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$tmp/display" 2>/dev/null & pids+=($!)
soon [ -s "$tmp/display" ] || fail "no X server"
export DISPLAY=:$(cat "$tmp/display")

# Wine's regional settings name the month in lower case ("декабрь", where Windows says "Декабрь"): a
# name the genitive table does not hold, so the title keeps it as given.
months=(январь февраль март апрель май июнь июль август сентябрь октябрь ноябрь декабрь)
title="Brannick       Velmora v.1.1              Сегодня: $(date +%-d)  ${months[$(date +%-m) - 1]}  $(date +%Y) года  $(LC_ALL=ru_RU.UTF-8 date +%A)"
(cd "$tmp" && LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 exec wine "$program") & app=$!; pids+=($!)
win=$(timeout 60 xdotool search --sync --onlyvisible --name 'Velmora v.1.1' | head -1)
[ -n "$win" ] || fail "no window"
shown=$(xdotool getwindowname "$win")
[ "${shown,,}" = "${title,,}" ] || fail "title '$shown', not '$title'"
eval "$(xdotool getwindowgeometry --shell "$win")"
click() { xdotool mousemove --window "$win" "$1" $(($2 + HEIGHT - 551)) click 1; }  # below the menu bar
opened() { for p in $(pgrep -f 'velmora.exe'); do stat -L -c %d:%i /proc/$p/fd/* 2>/dev/null; done | grep -qx "$(stat -L -c %d:%i "$tmp/pty1")"; }
sleep 1 && click 29 56 && soon opened || fail "ticking Com1 did not open COM1's pty"
click 408 89 && xdotool type --delay 30 probe && soon grep -q probe "$tmp/far1" || fail "TD sent '$(cat -v "$tmp/far1")'"
import -window root "${setup%/*}/velmora-wine.png" 2>/dev/null || true
xdotool key alt+F4 && timeout 20 tail --pid=$app -f /dev/null && wait $app || fail "Alt+F4: no exit status 0"
echo "PASS: setup, title, COM1, TD and Alt+F4 under Wine"

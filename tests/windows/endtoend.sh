#!/bin/bash
# The setup program run silently in a fresh Wine prefix, then the installed program on a private X
# server with COM1 to COM4 on pseudo terminals: the setup must put velmora.exe under Program Files
# with a Start-menu shortcut; the program must show its dated Russian title, open COM1 when its box
# is ticked, send the TD text there and end on Alt+F4. Leaves a screenshot beside the setup program.
# Usage: endtoend.sh <Velmora-…-setup.exe>
set -u; here=$(cd "$(dirname "$0")" && pwd) && . "$here/../support/xdrive.sh"
setup=$(realpath -e "${1-}") || fail "no setup program at '${1-}'"

tmp=$(mktemp -d /tmp/velmora-wine-e2e.XXXXXX) pids=()
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
finish() {
    wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
    kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"
}
trap finish EXIT

# Every COM number the program can reach is a pty before anything runs in the prefix; COM1's far end
# copies what arrives to a file.
for n in 1 2 3 4; do
    socat -u PTY,link="$tmp/pty$n",rawer OPEN:"$tmp/far$n",creat,trunc 2>/dev/null & pids+=($!)
done
soon [ -e "$tmp/pty4" ] && soon [ -e "$tmp/pty1" ] || fail "no ptys"
bash "$here/../../scripts/wine-prefix.sh" "$WINEPREFIX" "$tmp"/pty1 "$tmp"/pty2 "$tmp"/pty3 \
    "$tmp"/pty4 || fail "no Wine prefix"

LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 timeout 120 wine "$setup" /S || fail "the setup program failed"
wineserver -w
program="$WINEPREFIX/drive_c/Program Files/Velmora/velmora.exe"
[ -f "$program" ] || fail "nothing installed at C:\\Program Files\\Velmora\\velmora.exe"
find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmora/Velmora.lnk' | grep -q . ||
    fail "no Start-menu shortcut"

# Wine's regional settings name the month in lower case ("декабрь", where Windows says "Декабрь");
# the title gives its genitive all the same. Weekdays are lower case on both.
months=(Января Февраля Марта Апреля Мая Июня Июля Августа Сентября Октября Ноября Декабря)
days=(воскресенье понедельник вторник среда четверг пятница суббота)
x_server
(cd "$tmp" && LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 exec wine "$program") & app=$!; pids+=($!)
today="$(date +%-d)  ${months[$(date +%-m) - 1]}  $(date +%Y) года  ${days[$(date +%w)]}"
window "Brannick       Velmora v.1.1              Сегодня: $today"
sends "$tmp/far1" "$tmp/pty1" "$app"
import -window root "${setup%/*}/velmora-wine.png" 2>/dev/null || true
ends alt+F4 "$app"
echo "PASS: setup, title, COM1, TD and Alt+F4 under Wine"

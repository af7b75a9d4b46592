#!/bin/bash
# endtoend.sh Velmora-…-setup.exe: the setup program, whose licence page (the file CPackConfig.cmake
# beside it names) must carry a byte-order mark, without which NSIS reads it in the ANSI code page,
# and the terms in Russian and English; then the setup run silently in a fresh Wine prefix, which
# must put velmora.exe under Program Files with a Start-menu shortcut; then the installed program on
# a private X server with COM1 to COM4 on ptys, which must show its dated Russian title, open COM1
# when its box is ticked, send the TD text there, do as much for a COM3 that ser2net serves, and end
# on Alt+F4. Leaves a screenshot beside the setup program.
set -u; here=${0%/*} setup=$1
. "$here/../support/xdrive.sh" && . "$here/../support/remotecom3.sh"
licence=$(grep -Po '^set\(CPACK_RESOURCE_FILE_LICENSE "\K[^"]*' "${setup%/*}/CPackConfig.cmake")
tr -d '\r' <"$licence" | grep -cxF -e $'\xef\xbb\xbfVelmora v.1.1' \
    -e 'Соглашение на использование программы Velmora v.1.1:' \
    -e '4. Запрещается вносить изменения в программу без согласия автора.' \
    -e "4. No changes may be made to the program without the author's consent." | grep -qx 4 ||
    fail "the licence $licence"

tmp=$(mktemp -d) pids=()
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '{ wineserver -k; wineserver -w; kill "${pids[@]}"; wait; } 2>/dev/null; rm -rf "$tmp"' EXIT
# Every COM number the program can reach is a pty before anything runs in the prefix; COM1's far end
# copies what arrives to a file.
for n in 1 2 3 4; do
    socat -u PTY,link="$tmp/pty$n",rawer OPEN:"$tmp/far$n",creat 2>/dev/null & pids+=($!)
done
soon [ -e "$tmp/pty1" ] &&
    bash "$here/../../scripts/wine-prefix.sh" "$WINEPREFIX" "$tmp"/pty{1..4} || fail "no prefix"

LC_ALL=ru_RU.UTF-8 timeout 120 wine "$setup" /S && wineserver -w || fail "the setup failed"
program="$WINEPREFIX/drive_c/Program Files/Velmora/velmora.exe"
[ -f "$program" ] && find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmora/Velmora.lnk' |
    grep -q . || fail "no velmora.exe under Program Files, or no Start-menu shortcut"

# Wine's regional settings name the month in lower case ("декабрь", where Windows says "Декабрь");
# the title gives its genitive all the same. Weekdays are lower case on both.
months=(Января Февраля Марта Апреля Мая Июня Июля Августа Сентября Октября Ноября Декабря)
days=(воскресенье понедельник вторник среда четверг пятница суббота)
serve_com3 "$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming"
x_server
LC_ALL=ru_RU.UTF-8 wine "$program" & app=$!; pids+=($app)
set -- $(date '+%-d %-m %Y %w')
today="$1  ${months[$2 - 1]}  $3 года  ${days[$4]}"
window "Brannick       Velmora v.1.1              Сегодня: $today"
sends "$tmp/far1" "$tmp/pty1" "$app" && remote_sends
import -window root "${setup%/*}/velmora-wine.png" 2>/dev/null
ends alt+F4 "$app"
echo "PASS: licence, setup, title, COM1 and a remote COM3, TD and Alt+F4 under Wine"

#!/bin/bash
# endtoend.sh Velmora-…-setup.exe: the setup program, whose licence page (the file CPackConfig.cmake
# beside it names) must carry a byte-order mark, without which NSIS reads it in the ANSI code page,
# and the terms in Russian and English; then the setup run silently in a fresh Wine prefix, which
# must put velmora.exe under Program Files with a Start-menu shortcut; then the installed program on
# a private X server with COM1 on a pty, which must show its dated Russian title, open COM1 when its
# box is ticked, send the TD text there, do as much for a COM3 that ser2net serves, and end on
# Alt+F4. Leaves a screenshot beside the setup program.
set -u; here=${0%/*} build=${1%/*}
. "$here/../support/xdrive.sh"
licence=$(grep -Po '^set\(CPACK_RESOURCE_FILE_LICENSE "\K[^"]*' "$build/CPackConfig.cmake")
tr -d '\r' <"$licence" | grep -cxF -e $'\xef\xbb\xbfVelmora v.1.1' \
    -e 'Соглашение на использование программы Velmora v.1.1:' \
    -e '4. Запрещается вносить изменения в программу без согласия автора.' \
    -e "4. No changes may be made to the program without the author's consent." | grep -qx 4 ||
    fail "the licence $licence"

export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop() { wineserver -k; wineserver -w; }
# COM1 is a pty before anything runs in the prefix, and no other COM number names a device.
far_pty com1
bash "$here/../../scripts/wine-prefix.sh" "$WINEPREFIX" "$(<"$tmp/com1.pty")" || fail "no prefix"

LC_ALL=ru_RU.UTF-8 timeout 120 wine "$1" /S || fail "the setup failed"
wineserver -w
program="$WINEPREFIX/drive_c/Program Files/Velmora/velmora.exe"
[ -f "$program" ] && find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmora/Velmora.lnk' |
    grep -q . || fail "not installed"

# Wine's regional settings name the month in lower case ("декабрь", where Windows says "Декабрь");
# the title gives its genitive all the same. Weekdays are lower case on both.
months=(Января Февраля Марта Апреля Мая Июня Июля Августа Сентября Октября Ноября Декабря)
days=(воскресенье понедельник вторник среда четверг пятница суббота)
serve_com3 "$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming" "$build/tests/windows/modemshim.so"
x_server
set -- $(date '+%-d %-m %Y %w')
today="$1  ${months[$2 - 1]}  $3 года  ${days[$4]}"
start env LC_ALL=ru_RU.UTF-8 wine "$program"
sends
import -window root "$build/velmora-wine.png" 2>/dev/null
ends alt+F4
echo "PASS: $0"

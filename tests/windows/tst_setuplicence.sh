#!/bin/sh
# The licence file CPack gives the setup program (CPackConfig.cmake is $1) must carry a byte-order
# mark, without which NSIS reads it in the ANSI code page, and the terms in Russian and English.
licence=$(sed -n 's/^set(CPACK_RESOURCE_FILE_LICENSE "\(.*\)")$/\1/p' "$1")
fail() { echo "FAIL: $licence: $*"; exit 1; }
[ "$(head -c 3 "$licence")" = "$(printf '\357\273\277')" ] || fail "no byte-order mark"
for line in "Соглашение на использование программы Velmora v.1.1:" \
    "4. Запрещается вносить изменения в программу без согласия автора." \
    "4. No changes may be made to the program without the author's consent."; do
    tr -d "\r" <"$licence" | grep -qxF "$line" || fail "no line '$line'"
done

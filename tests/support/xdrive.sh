# Drives the program's window on a private X server for the end-to-end runs, in bash: sourced first,
# then the caller sets tmp (a private folder) and pids (what to kill at the end) before x_server.
fail() { echo "FAIL: $*" >&2; exit 1; }
soon() { for _ in $(seq 150); do "$@" && return; sleep 0.2; done; false; }

x_server() {
    timeout 120 Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$tmp/display" 2>/dev/null &
    pids+=($!)
    soon [ -s "$tmp/display" ] || fail "no X server"
    export DISPLAY=:$(cat "$tmp/display")
}

# window TITLE: the program's window (win and its geometry), which must carry TITLE.
window() {
    win=$(timeout 60 xdotool search --sync --onlyvisible --name 'Velmora v.1.1' | head -1) &&
        [ -n "$win" ] || fail "no window"
    local title
    title=$(xdotool getwindowname "$win")
    [ "$title" = "$1" ] || fail "title '$title', not '$1'"
    eval "$(xdotool getwindowgeometry --shell "$win")"
}
# click X Y: a click at X Y below the menu bar, once the window, at the size it has then, shows
# something there (before its first paint it is black).
click() { local y; eval "$(xdotool getwindowgeometry --shell "$win")" && y=$(($2 + HEIGHT - 551))
    soon drawn "$1" "$y" || fail "nothing drawn at $1,$y"
    xdotool mousemove --window "$win" "$1" "$y" click 1; }
drawn() { local pixel
    pixel=$(import -window "$win" -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null) &&
        [[ $pixel == *'#'* && $pixel != *'#000000'* ]]; }

# sends FAR DEVICE PID...: ticking Com1 must make one of the processes PID open DEVICE, and "probe"
# typed into TD must reach the file FAR, which DEVICE's far end writes.
sends() { local far=$1 device; device=$(stat -L -c %d:%i "$2") && shift 2
    click 29 56 && soon holds "$device" "$@" || fail "ticking Com1 did not open it"
    click 408 89 && xdotool type --delay 30 probe && soon grep -q probe "$far" ||
        fail "TD sent '$(cat -v "$far")'"
}
holds() {
    local device=$1 p
    shift
    for p; do stat -L -c %d:%i /proc/"$p"/fd/* 2>/dev/null; done | grep -qx "$device"
}

# ends KEY PID: the key KEY must end the program, the shell's child PID, with status 0.
ends() {
    xdotool key "$1" && timeout 20 tail --pid="$2" -f /dev/null && wait "$2" ||
        fail "$1: no exit status 0"
}

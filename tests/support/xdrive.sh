# Drives the program's window on a private X server for the end-to-end runs, in bash: sourced first,
# then the caller sets tmp (a private folder) and pids (what to kill at the end) before x_server.
fail() { echo "FAIL: $*" >&2; exit 1; }
soon() { for _ in $(seq 150); do "$@" && return; sleep 0.2; done; false; }

x_server() {
    timeout 120 Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$tmp/display" 2>/dev/null &
    pids+=($!) && soon [ -s "$tmp/display" ] || fail "no X server"
    export DISPLAY=:$(cat "$tmp/display")
}

# window TITLE: the program's window (win), which must carry TITLE.
window() {
    win=$(timeout 60 xdotool search --sync --onlyvisible --name 'Velmora v.1.1' | head -1)
    local title=$(xdotool getwindowname "$win")
    [ "$title" = "$1" ] || fail "window titled '$title', not '$1'"
}

# click X Y: a click at X Y below the menu bar, once the window, at the size it has then, shows
# something there (before its first paint it is black).
click() {
    eval "$(xdotool getwindowgeometry --shell "$win")" && local y=$(($2 + HEIGHT - 551))
    soon drawn $1 $y || fail "nothing drawn at $1,$y"
    xdotool mousemove --window "$win" $1 $y click 1
}
drawn() {
    local pixel=$(import -window "$win" -crop 1x1+$1+$2 -depth 8 txt:- 2>/dev/null)
    [[ $pixel == *#* && $pixel != *#000000* ]]
}

# sends FAR: with Com1 ticked, "probe" typed into TD must reach the file FAR, which COM1's far end
# writes.
sends() {
    click 29 56 && click 408 89 && xdotool type --delay 30 probe && soon grep -q probe "$1" ||
        fail "TD sent '$(cat -v "$1")'"
}

# ends KEY PID: the key KEY must end the program, the shell's child PID, with status 0.
ends() {
    xdotool key $1 && timeout 20 tail --pid=$2 -f /dev/null && wait $2 || fail "$1: not status 0"
}

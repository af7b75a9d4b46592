# Drives the program's window on a private X server for the end-to-end runs, in bash. Sourcing it
# makes $tmp, a private folder, and $pids, what is killed when the run ends, after stop, which the
# caller may define again.
fail() { echo "FAIL: $*" >&2; exit 1; }
# soon COMMAND...: COMMAND must succeed within 30 seconds.
soon() { for _ in $(seq 150); do "$@" && return; sleep 0.2; done; fail "never: $*"; }
stop() { :; }
tmp=$(mktemp -d) pids=()
trap '{ stop; kill "${pids[@]}"; wait; } 2>/dev/null; rm -rf "$tmp"' EXIT

x_server() {
    timeout 120 Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$tmp/display" 2>/dev/null &
    pids+=($!)
    soon [ -s "$tmp/display" ]
    export DISPLAY=:$(<"$tmp/display")
}

# far_pty NAME: a pseudo terminal, named in $tmp/NAME.pty, whose far end copies what comes to
# $tmp/NAME.far.
far_pty() {
    script -qfc "tty >$tmp/$1.pty; exec sleep 600" /dev/null </dev/null >"$tmp/$1.far" 2>&1 &
    pids+=($!)
    soon [ -s "$tmp/$1.pty" ]
}

# serve_com3 FOLDER SHIM: COM3 stands, in the velmora/ports.ini under FOLDER, for a port that
# ser2net serves on loopback, the pty remote3, given modem lines by the stand-ins of SHIM (a pty
# has none, and ser2net answers no change of them without).
serve_com3() {
    far_pty remote3
    truncate -s 12 "$tmp/remote3.line"
    local port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("", 0))
print(s.getsockname()[1])')
    # In YAML, '#' for a line end: the form of a configuration that ser2net 4.3 and 4.6 both take
    # on the command line.
    local config="connection: &c#  accepter: telnet(rfc2217),tcp,127.0.0.1,$port"
    config+="#  connector: serialdev,$(<"$tmp/remote3.pty"),9600n81,local"
    LD_PRELOAD=$2 VELMORA_PTY_LINE=$tmp/remote3.line ser2net -n -u -Y "$config" 2>/dev/null &
    pids+=($!)
    soon grep -q ":$(printf %04X "$port") 00000000:0000 0A" /proc/net/tcp
    mkdir -p "$1/velmora"
    printf '[ports]\nCOM3=rfc2217://127.0.0.1:%s\n' "$port" >"$1/velmora/ports.ini"
}

# start COMMAND...: the program, started in the background as $app, whose window (win) must be
# titled "Brannick       Velmora v.1.1              Сегодня: " and the date the caller put in
# $today.
start() {
    "$@" &
    app=$! pids+=($!)
    win=$(timeout 60 xdotool search --sync --onlyvisible --name 'Velmora v.1.1' | head -1)
    local title=$(xdotool getwindowname "$win")
    [ "$title" = "Brannick       Velmora v.1.1              Сегодня: $today" ] ||
        fail "window titled '$title'"
}

# click X Y: a click at X Y below the menu bar, once the window, at the size it has then, shows
# something there (before its first paint it is black).
click() {
    eval "$(xdotool getwindowgeometry --shell "$win")"
    local y=$(($2 + HEIGHT - 551))
    soon drawn $1 $y
    xdotool mousemove --window "$win" $1 $y click 1
}
drawn() {
    local pixel=$(import -window "$win" -crop 1x1+$1+$2 -depth 8 txt:- 2>/dev/null)
    [[ $pixel == *#* && $pixel != *#000000* ]]
}

# sends: ticking Com1, then Com3, and typing "probe" into its TD field must reach the far end of
# the pty com1, then remote3.
sends() {
    click 29 56
    click 408 89
    xdotool type --delay 30 probe
    soon grep -q probe "$tmp/com1.far"
    click 29 88
    click 504 89
    xdotool type --delay 30 probe
    soon grep -q probe "$tmp/remote3.far"
}

# ends KEY: the key KEY must end the program with status 0.
ends() {
    xdotool key $1
    timeout 20 tail --pid=$app -f /dev/null && wait $app || fail "$1: not status 0"
}

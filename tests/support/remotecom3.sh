# For the end-to-end runs, sourced after xdrive.sh. serve_com3 FOLDER: COM3 stands, in the
# velmora/ports.ini under FOLDER, for a port that ser2net serves on loopback: a pty whose far end
# writes to $tmp/remote3.far, given modem lines by the shim the tests preload into servers (a pty
# has none, and ser2net answers no change of them without). remote_sends: ticking Com3 and typing
# into its TD must reach that far end over RFC 2217.
serve_com3() {
    local at=$tmp/remote3 port config
    g++ -std=c++20 -shared -fPIC -o "$at.so" "${BASH_SOURCE[0]%/*}/../linux/modemshim.cpp" -ldl &&
        truncate -s 12 "$at.line" || fail "no modem shim"
    script -qfc "tty >$at.pty; exec sleep 60" /dev/null </dev/null >"$at.far" 2>&1 & pids+=($!)
    soon [ -s "$at.pty" ] || fail "no pty for COM3"
    port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
    config="connection: &c#  accepter: telnet(rfc2217),tcp,127.0.0.1,$port#  "
    config+="connector: serialdev,$(cat "$at.pty"),9600n81,local"
    LD_PRELOAD=$at.so VELMORA_PTY_LINE=$at.line ser2net -n -u -Y "$config" 2>/dev/null & pids+=($!)
    soon grep -q ":$(printf %04X "$port") 00000000:0000 0A" /proc/net/tcp || fail "no ser2net"
    mkdir -p "$1/velmora" && printf '[ports]\nCOM3=rfc2217://127.0.0.1:%s\n' "$port" \
        >"$1/velmora/ports.ini" || fail "cannot map COM3"
}
remote_sends() {
    click 29 88 && click 504 89 && xdotool type --delay 30 probe &&
        soon grep -q probe "$tmp/remote3.far" ||
        fail "TD of the remote COM3 sent '$(cat -v "$tmp/remote3.far")'"
}

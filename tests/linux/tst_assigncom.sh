#!/usr/bin/env bash
# The pinning script ("pin" in its messages) over made-up machines with device nodes, so as root. A
# case runs its commands in dash ("a ARGS" runs pin, adding its exit status if not 0; "q ARGS" hides
# its stdout), then shows the values of each rule left; blanks and line ends compare as one.
[ "$(id -u)" = 0 ] || { echo "SKIP: device nodes need root"; exit 77; }
here=$(dirname "$(realpath "$0")") scratch=$(mktemp -d) failed=0 && trap 'rm -rf "$scratch"' EXIT
export S=${1:-$here/../../scripts/assign-com.sh} s0='tty ttyS0 4 x' nl=$'A1\nB2'
export evil='A1", RUN+="x' cp2102="SL CP2102 0001 '' 00 10c4:ea60"
export a='a() { "$S" "$@" || echo exit $?; }; q() { a "$@" >/dev/null; }'
t() { # NAME COMMANDS EXPECTED
    local got=$({ sh -c '. "$0" "$1" && eval "$a; $2"' "$here/machine.sh" "$scratch/$1" "$2"
        sed -E 's/[^"]*"([^"]*)"/\1 /g' "$scratch/$1"/rules/* 2>&-; } |
        sed "s|$scratch/$1||g; s/assign-com.sh/pin/g; s/^pin: //")
    [ "$(echo $got)" = "$(echo $3)" ] || { failed=1; echo "FAIL $1: $got"; }
}
t ftdi2 "usb ttyUSB0 FTDI Dual FT4ABC 1-4 00 0403:6010
    usb ttyUSB1 FTDI Dual FT4ABC 1-4 01 0403:6010; a COM2 /dev/ttyUSB1; cat rules/*" \
'COM2 is now ttyUSB1 SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6010",
ATTRS{serial}=="FT4ABC", ENV{ID_USB_INTERFACE_NUM}=="01", SYMLINK+="COM2", GROUP="dialout"
tty 0403 6010 FT4ABC 01 COM2 dialout'
t ch342 "usb ttyACM1 '' '' '' 1-2 02 1a86:55d2; a COM3 ttyACM1" \
'ttyACM1 has no usable serial number, so COM3 stays with the USB port it is plugged into
COM3 is now ttyACM1 tty 1a86 55d2 1-2 02 COM3 dialout'
t sharedSerial "usb ttyUSB0 $cp2102; usb ttyUSB1 $cp2102; a COM1 ttyUSB0
    rm dev/ttyUSB1 sys/class/tty/ttyUSB1; a COM2 ttyUSB0" \
'ttyUSB0 shares its serial number with another device present, so COM1 stays with the USB port it
is plugged into COM1 is now ttyUSB0 ttyUSB0 is already COM1; first run: pin --remove COM1
exit 1 tty 10c4 ea60 1-1 00 COM1 dialout'
t uarts "$s0; tty ttyS1 0 x; tty ttyS4 4 pci/card; tty ttyS5 4 pci/card; tty ttyAMA0 '' soc
    console tty0 ttyS0; a COM1 /dev/ttyS0; q --force COM1 /dev/ttyS0; q COM2 ttyS5; q COM3 ttyAMA0
    a COM4 ttyS1; a COM2 ttyS4; q COM2 ttyS5; rm dev/COM1; a --list" \
'/dev/ttyS0: the system console, whose modem lines Velmora would drive; to pin it all the
same: pin --force COM1 /dev/ttyS0 exit 1
ttyS1: an empty UART slot, no serial port behind it exit 1
COM2 is already assigned; first run: pin --remove COM2 exit 1
COM1 KERNEL=="ttyS0" not plugged in COM2 KERNEL=="ttyS5" now ttyS5 COM3 KERNEL=="ttyAMA0" now
ttyAMA0 tty ttyS0 COM1 dialout tty ttyS5 COM2 dialout tty ttyAMA0 COM3 dialout
'
t badSerials 'usb ttyUSB0 FTDI FT232R "$evil"; usb ttyUSB1 FTDI FT232R "$nl"
    usb ttyUSB2 FTDI FT232R "A1*"; q COM1 ttyUSB0; q COM2 ttyUSB1; q COM3 ttyUSB2' \
'tty 0403 6001 1-1 00 COM1 dialout tty 0403 6001 1-2 00 COM2 dialout
tty 0403 6001 1-3 00 COM3 dialout'
t utf8Locale "usb ttyUSB0 FTDI FT232R ÄÖ1; usb ttyUSB1 FTDI FT232R 'A1 B2'
    export LC_ALL=ru_RU.UTF-8; a COM² ttyUSB0; q COM1 ttyUSB0; q COM2 ttyUSB1" \
'COM²: not one of COM1, COM2, COM3, COM4 exit 1 tty 0403 6001 1-1 00 COM1 dialout
tty 0403 6001 1-2 00 COM2 dialout'
t nothingSafe 'usb ttyUSB0 FTDI FT232R "$evil" "" 00 "*:6001"; usb ttyUSB1 "" "" "" 1-3 00 9710:7840
    usb ttyUSB2 "" "" "" 1-3 00 9710:7840; a COM1 ttyUSB0; a COM1 ttyUSB2' \
'ttyUSB0: reports nothing a udev rule can safely match it alone by exit 1
ttyUSB2: reports nothing a udev rule can safely match it alone by exit 1'
t udevFails "$s0; VELMORA_UDEVADM=true a COM2 ttyS0; VELMORA_UDEVADM=false a COM2 ttyS0
    VELMORA_UDEVADM=nowhere a COM2 ttyS0" \
'udev did not point /dev/COM2 to ttyS0, so the rule is taken out again exit 1
udevadm failed on ttyS0 (is udevd running, is the device still there?), so the rule is taken
out again exit 1 nowhere: not found (is udev installed?) exit 1'
t remove "$s0; q COM2 ttyS0; VELMORA_UDEVADM=false a --remove COM2; rm dev/COM2; q COM2 ttyS0
    VELMORA_UDEVADM=true a --remove COM2; rm dev/COM2; q COM2 ttyS0; rm udevadm.log
    a --remove COM2; cat udevadm.log" \
'COM2 is no longer assigned, but udevadm failed on ttyS0, so /dev/COM2 stays until the device
is plugged in again exit 1 COM2 is no longer assigned, but udev still keeps /dev/COM2 exit 1
COM2 is no longer assigned udevadm control --reload udevadm trigger --settle /sys/class/tty/ttyS0'
# A run that waits for the lock while another one writes its rule.
t twoAtOnce "$s0; q COM1 ttyS0; mv rules/* .; rm dev/COM1
    exec 8<rules; flock 8; a COM2 ttyS0 & sleep 1; mv 99-* rules; flock -u 8; wait" \
'ttyS0 is already COM1; first run: pin --remove COM1 exit 1 tty ttyS0 COM1 dialout'
t notTheNode "$s0; mknod ttyS0 c 0 9; a COM1 ../ttyS0; a COM1 ../sys/class/tty/ttyS0
    ln -s dev/ttyS0 id; q COM1 ../id" \
'../ttyS0: not the device node of a tty exit 1
../sys/class/tty/ttyS0: not the device node of a tty exit 1 tty ttyS0 COM1 dialout'
ro='[ "$(readlink /proc/self/ns/mnt)" != "$(readlink /proc/$PPID/ns/mnt)" ] &&
    mount -o bind,ro rules rules && "$S" "$@" || echo exit $?'
t rulesFolder "$s0; unshare --mount --propagation private sh -c '$ro' - COM1 ttyS0
    rmdir rules; a COM1 ttyS0" \
'cannot write /rules/99-velmora-COM1.rules: Read-only file system exit 1
/rules: no such folder (is udev installed?) exit 1'
exit $failed

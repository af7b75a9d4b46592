#!/usr/bin/env bash
# The pinning script over made-up machines with device nodes, so as root. Each case is a name, the
# commands that build its machine around the UART ttyS0 and run the script in bash ("a ARGS" runs
# it, adding its exit status if not 0; "q ARGS" hides its stdout), and what they print, the
# script's name left out, followed by the values of each rule left: blanks and line ends compare as
# one, and * stands for the rest of a long message.
[ $(id -u) = 0 ] || { echo SKIP: device nodes need root; exit 77; }
here=$(realpath ${0%/*}) failed=0 evil='A1", RUN+="x' v='s/[^"]*"([^"]*)"/\1 /g'
S=$here/../../scripts/assign-com.sh
cd $(mktemp -d) && trap 'rm -rf $PWD' EXIT
set -f
a() { $S "$@" || echo $?; }
q() { a "$@" >/dev/null; }
t() {
    got=$(echo $(mkdir $1; cd $1; set +f; . $here/machine.sh; tty ttyS0 4; eval "$2"
        sed -E "$v" rules/* 2>&-) | sed 's/assign-com.sh:* //g')
    [[ $got == $(echo $3) ]] || { failed=1; echo "FAIL $1: $got"; }
}
# The second port of a two-port chip; a CH342 with no serial number under cdc_acm.
t twoPorts "usb ttyUSB0 A B FT4 1-4; usb ttyUSB1 A B FT4 1-4 01; usb ttyACM1 A B '' 1-2 02 1a86 55d2
    a COM2 /dev/ttyUSB1; cat rules/*; a COM3 ttyACM1" \
'COM2 is now ttyUSB1 SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001",
ATTRS{serial}=="FT4", ENV{ID_USB_INTERFACE_NUM}=="01", SYMLINK+="COM2", GROUP="dialout"
ttyACM1 has no usable serial number* COM3 is now ttyACM1 tty 0403 6001 FT4 01 COM2 dialout
tty 1a86 55d2 1-2 02 COM3 dialout'
# Two adapters with one serial number; then one alone, whose port rule still applies.
t sharedSerial "usb ttyUSB0 A B 1; usb ttyUSB1 A B 1; a COM1 ttyUSB0
    rm dev/ttyUSB1 sys/class/tty/ttyUSB1; a COM2 ttyUSB0" \
'ttyUSB0 shares its serial number* COM1 is now ttyUSB0
ttyUSB0 is already COM1; first run: --remove COM1 1 tty 0403 6001 1-1 00 COM1 dialout'
# The console, an empty slot, two UARTs of a PCI card, a board UART; a number taken; the list,
# which tells all the rules do.
t uarts "tty ttyS1 0; tty ttyS4 4 card; tty ttyS5 4 card; tty ttyAMA0; console tty0 ttyS0
    a COM1 /dev/ttyS0; q --force COM1 /dev/ttyS0; q COM2 ttyS5; q COM3 ttyAMA0; a COM4 ttyS1
    a COM2 ttyS4; rm dev/COM1; a --list; rm rules/*" \
'/dev/ttyS0: the system console* --force COM1 /dev/ttyS0 1 ttyS1: an empty UART slot* 1
COM2 is already assigned; first run: --remove COM2 1
COM1 KERNEL=="ttyS0" not plugged in COM2 KERNEL=="ttyS5" now ttyS5 COM3 KERNEL=="ttyAMA0" now
ttyAMA0'
# Serial numbers no rule may hold: hostile, two lines, a pattern; then, under a UTF-8 locale, a
# number and a serial number with non-ASCII characters, and one with a blank.
t badSerials 'usb ttyUSB0 A B "$evil"; usb ttyUSB1 A B "$(printf "A1\nB2")"; usb ttyUSB2 A B "A1*"
    q COM1 ttyUSB0; q COM2 ttyUSB1; q COM3 ttyUSB2' \
'tty 0403 6001 1-1 00 COM1 dialout tty 0403 6001 1-2 00 COM2 dialout tty 0403 6001 1-3 00 COM3
dialout'
t utf8Locale "usb ttyUSB0 A B ÄÖ1; usb ttyUSB1 A B 'A1 B2'; export LC_ALL=ru_RU.UTF-8
    a COM² ttyUSB0; q COM1 ttyUSB0; q COM2 ttyUSB1" \
'COM²: not one of COM1, COM2, COM3, COM4 1 tty 0403 6001 1-1 00 COM1 dialout
tty 0403 6001 1-2 00 COM2 dialout'
# No safe vendor id; two ports on one interface.
t nothingSafe 'usb ttyUSB0 A B "$evil" 1-1 00 +; usb ttyUSB1 A B "" 1-3; usb ttyUSB2 A B "" 1-3
    a COM1 ttyUSB0; a COM1 ttyUSB2' \
'ttyUSB0: reports nothing a udev rule can safely match it alone by 1 ttyUSB2: reports nothing* 1'
t udevFails "VELMORA_UDEVADM=true a COM2 ttyS0; VELMORA_UDEVADM=false a COM2 ttyS0
    VELMORA_UDEVADM=nowhere a COM2 ttyS0" \
'udev did not point dev/COM2 to ttyS0* 1 udevadm failed on ttyS0* 1
nowhere: not found (is udev installed?) 1'
t remove "q COM2 ttyS0; VELMORA_UDEVADM=false a --remove COM2; rm dev/COM2; q COM2 ttyS0
    VELMORA_UDEVADM=true a --remove COM2; rm dev/COM2; q COM2 ttyS0; a --remove COM2" \
'COM2 is no longer assigned, but udevadm failed on ttyS0* 1
COM2 is no longer assigned, but udev still keeps dev/COM2 1 COM2 is no longer assigned'
# A run that waits for the lock while another one writes its rule.
t twoAtOnce "q COM1 ttyS0; mv rules/* .; rm dev/COM1
    exec 8<rules; flock 8; a COM2 ttyS0 & sleep 1; mv 99-* rules; flock -u 8; wait; rm rules/*" \
'ttyS0 is already COM1; first run: --remove COM1 1'
# Paths that end in a tty's name: another device's node, its sysfs folder; a link to its node.
t notTheNode "mknod ttyS0 c 0 9; a COM1 ../ttyS0; a COM1 ../sys/class/tty/ttyS0
    ln -s dev/ttyS0 id; q COM1 ../id" \
'../ttyS0: not the device node* 1 ../sys/class/tty/ttyS0: not the device node* 1
tty ttyS0 COM1 dialout'
# A rule that cannot be written, its name a link into no folder; then no rules folder at all.
t rulesFolder "ln -s a/b rules/99-velmora-COM1.rules; a COM1 ttyS0; rm -r rules; a COM1 ttyS0" \
'cannot write rules/99-velmora-COM1.rules: No such file or directory 1 rules: no such folder* 1'
exit $failed

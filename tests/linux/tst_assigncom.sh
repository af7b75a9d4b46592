#!/usr/bin/env bash
# Runs the pinning script over made-up machines: each case builds one with tests/linux/machine.sh in
# dash, runs its commands ("a ARGS" runs the script and prints its exit status) and compares what they
# print, then the rules left behind and the COMn links, joined by " | ", with the literal text.
top=$(cd "$(dirname "$0")/../.." && pwd) scratch=$(mktemp -d) passed=0 failed=0 && trap 'rm -rf "$scratch"' EXIT
export S=${1:-$top/scripts/assign-com.sh} nl=$'A1\nB2' evil='*", RUN+="/bin/sh -c '\''id >/tmp/owned'\'''
ftdi2="usb ttyUSB0 FTDI 'Dual RS232-HS' FT4ABC 1-4 00 0403:6010; usb ttyUSB1 FTDI 'Dual RS232-HS' FT4ABC 1-4 01 0403:6010"
ch342="usb ttyACM0 '' '' '' 1-2 00 1a86:55d2; usb ttyACM1 '' '' '' 1-2 02 1a86:55d2"
uarts="tty ttyS0 4 platform/serial8250; tty ttyS1 0 platform/serial8250; tty ttyS3 4 platform/serial8250
    tty ttyS4 4 pci0000:00/0000:00:1c.0/0000:03:00.0; tty ttyS5 4 pci0000:00/0000:00:1c.0/0000:03:00.0; tty ttyAMA0 '' platform/fe201000.serial"
t() { # TAG COMMANDS EXPECTED
    got=$(sh -c '. "$0" "$1" && a() { "$S" "$@"; echo "exit $?"; } && eval "$2"; cat rules/* 2>/dev/null
        for l in dev/COM*; do [ -L "$l" ] && echo "${l#dev/} -> $(readlink "$l")"; done' "$top/tests/linux/machine.sh" "$scratch/$1" "$2" |
        sed "s|$scratch/$1||g" | paste -sd'|' | sed 's/|/ | /g')
    [ "$got" = "$3" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); printf 'FAIL %s\n  want %s\n  got  %s\n' "$1" "$3" "$got"; }
}
t ftdi2Second "$ftdi2; a COM2 /dev/ttyUSB1; cat udevadm.log" 'COM2 is now ttyUSB1 | exit 0 | udevadm control --reload | udevadm trigger --settle /sys/class/tty/ttyUSB1 | SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6010", ATTRS{serial}=="FT4ABC", ENV{ID_USB_INTERFACE_NUM}=="01", SYMLINK+="COM2", GROUP="dialout" | COM2 -> ttyUSB1'
t ch342Second "$ch342; a COM3 ttyACM1" 'ttyACM1 has no usable serial number, so COM3 stays with the USB port it is plugged into | COM3 is now ttyACM1 | exit 0 | SUBSYSTEM=="tty", ATTRS{idVendor}=="1a86", ATTRS{idProduct}=="55d2", KERNELS=="1-2", ENV{ID_USB_INTERFACE_NUM}=="02", SYMLINK+="COM3", GROUP="dialout" | COM3 -> ttyACM1'
t sameSerialTwoAdapters "usb ttyUSB0 SL CP2102 0001 1-3 00 10c4:ea60; usb ttyUSB1 SL CP2102 0001 1-5 00 10c4:ea60; a COM1 ttyUSB1 >/dev/null" 'SUBSYSTEM=="tty", ATTRS{idVendor}=="10c4", ATTRS{idProduct}=="ea60", KERNELS=="1-5", ENV{ID_USB_INTERFACE_NUM}=="00", SYMLINK+="COM1", GROUP="dialout" | COM1 -> ttyUSB1'
t uarts "$uarts; a COM1 /dev/ttyS0; a COM2 ttyS5; a COM3 /dev/ttyAMA0" 'COM1 is now ttyS0 | exit 0 | COM2 is now ttyS5 | exit 0 | COM3 is now ttyAMA0 | exit 0 | SUBSYSTEM=="tty", KERNEL=="ttyS0", SYMLINK+="COM1", GROUP="dialout" | SUBSYSTEM=="tty", KERNEL=="ttyS5", SYMLINK+="COM2", GROUP="dialout" | SUBSYSTEM=="tty", KERNEL=="ttyAMA0", SYMLINK+="COM3", GROUP="dialout" | COM1 -> ttyS0 | COM2 -> ttyS5 | COM3 -> ttyAMA0'
t hostileSerial 'usb ttyUSB0 FTDI FT232R "$evil" 1-3; a COM1 ttyUSB0' 'ttyUSB0 has no usable serial number, so COM1 stays with the USB port it is plugged into | COM1 is now ttyUSB0 | exit 0 | SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", KERNELS=="1-3", ENV{ID_USB_INTERFACE_NUM}=="00", SYMLINK+="COM1", GROUP="dialout" | COM1 -> ttyUSB0'
t newlineSerial 'usb ttyUSB0 FTDI FT232R "$nl" 1-3; a COM1 ttyUSB0 >/dev/null' 'SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", KERNELS=="1-3", ENV{ID_USB_INTERFACE_NUM}=="00", SYMLINK+="COM1", GROUP="dialout" | COM1 -> ttyUSB0'
t patternSerial "usb ttyUSB0 FTDI FT232R 'A1*' 1-3; a COM1 ttyUSB0 >/dev/null" 'SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", KERNELS=="1-3", ENV{ID_USB_INTERFACE_NUM}=="00", SYMLINK+="COM1", GROUP="dialout" | COM1 -> ttyUSB0'
t blankSerial "usb ttyUSB0 FTDI FT232R 'A1 B2' 1-3; a COM1 ttyUSB0 >/dev/null" 'SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", KERNELS=="1-3", ENV{ID_USB_INTERFACE_NUM}=="00", SYMLINK+="COM1", GROUP="dialout" | COM1 -> ttyUSB0'
t nothingSafe 'usb ttyUSB0 FTDI FT232R "$evil" 1-3 00 "*:6001"; a COM1 ttyUSB0' 'assign-com.sh: ttyUSB0: reports nothing a udev rule can safely match it alone by | exit 1'
t portsOnOneInterface "usb ttyUSB0 '' '' '' 1-3 00 9710:7840; usb ttyUSB1 '' '' '' 1-3 00 9710:7840; a COM1 ttyUSB1" 'assign-com.sh: ttyUSB1: reports nothing a udev rule can safely match it alone by | exit 1'
t emptySlot "$uarts; a COM2 /dev/ttyS1" 'assign-com.sh: /dev/ttyS1: an empty UART slot, no serial port behind it | exit 1'
t deviceTwice "$ftdi2; a COM1 ttyUSB0 >/dev/null; a COM2 ttyUSB0" 'assign-com.sh: ttyUSB0 is already COM1; first run: assign-com.sh --remove COM1 | exit 1 | SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6010", ATTRS{serial}=="FT4ABC", ENV{ID_USB_INTERFACE_NUM}=="00", SYMLINK+="COM1", GROUP="dialout" | COM1 -> ttyUSB0'
t numberTaken "$uarts; a COM1 ttyS0 >/dev/null; a COM1 ttyS3; a COM1 ttyS0" 'assign-com.sh: COM1 is already assigned; first run: assign-com.sh --remove COM1 | exit 1 | COM1 is now ttyS0 | exit 0 | SUBSYSTEM=="tty", KERNEL=="ttyS0", SYMLINK+="COM1", GROUP="dialout" | COM1 -> ttyS0'
t udevIgnoresRule "$ftdi2; VELMORA_UDEVADM=true a COM2 ttyUSB1" 'assign-com.sh: udev did not point /dev/COM2 to ttyUSB1, so the rule is taken out again | exit 1'
t list "$ftdi2; $uarts; a COM2 ttyUSB1 >/dev/null; a COM1 ttyS0 >/dev/null; rm dev/COM1; a --list" 'COM1  KERNEL=="ttyS0"  not plugged in | COM2  ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6010", ATTRS{serial}=="FT4ABC", ENV{ID_USB_INTERFACE_NUM}=="01"  now ttyUSB1 | exit 0 | SUBSYSTEM=="tty", KERNEL=="ttyS0", SYMLINK+="COM1", GROUP="dialout" | SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6010", ATTRS{serial}=="FT4ABC", ENV{ID_USB_INTERFACE_NUM}=="01", SYMLINK+="COM2", GROUP="dialout" | COM2 -> ttyUSB1'
t remove "$ftdi2; a COM2 ttyUSB1 >/dev/null; rm udevadm.log; a --remove COM2; cat udevadm.log" 'COM2 is no longer assigned | exit 0 | udevadm control --reload | udevadm trigger --settle /sys/class/tty/ttyUSB1'
t udevKeepsLink "$ftdi2; a COM2 ttyUSB1 >/dev/null; VELMORA_UDEVADM=true a --remove COM2" 'assign-com.sh: COM2 is no longer assigned, but udev still keeps /dev/COM2 | exit 1 | COM2 -> ttyUSB1'
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

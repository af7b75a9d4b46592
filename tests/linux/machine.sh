# A made-up machine for the COM-number tests, in POSIX sh, as root: ". machine.sh" in an empty
# folder makes dev, sys, rules and a stand-in udevadm there, points the VELMORA_* variables at
# them and sends all output to stdout. The sysfs trees are laid out as the kernel does:
# sys/class/tty/NAME links to the tty below its device under sys/devices, whose "device" link
# leads back up.
exec 2>&1
hub=sys/devices/usb1 ttys=sys/class/tty
mkdir -p dev rules $ttys/console $hub
export VELMORA_UDEV_RULES_DIR=rules VELMORA_DEV_ROOT=dev VELMORA_SYS_ROOT=sys \
    VELMORA_UDEVADM=./udevadm
# The root hub has ids and a serial number too, which must never be taken for an adapter's.
for a in idVendor idProduct serial; do echo 1d6b >$hub/$a; done

# The stand-in udevadm: "trigger --settle sys/class/tty/NAME" drops the COMn links to NAME and, as
# udev would after the rule written last, links its COMn to it.
cat >udevadm <<'EOF'
#!/bin/sh
[ $1 = trigger ] || exit 0
name=${3##*/} com=$(ls -t rules | head -1 | grep -o COM.)
find dev -lname $name -delete
[ -z "$com" ] || ln -sf $name dev/$com
EOF
chmod +x udevadm

# node NAME: the tty NAME's node, a character device whose numbers its sysfs "dev" file gives, that
# anyone may open. Char major 0 is never a driver's, so opening it finds nothing there (ENXIO).
node() {
    echo 0:$((m += 1)) >$ttys/$1/dev
    mknod -m 666 dev/$1 c 0 $m
}

# pty NAME PATH: the tty NAME is the pseudo terminal at PATH, which the node links to.
pty() {
    ln -sfn $2 dev/$1
    stat -Lc %Hr:%Lr $2 >$ttys/$1/dev
}

# tty NAME [TYPE [PARENT]]: the tty NAME of the device PARENT under sys/devices (x by default; two
# UARTs of a PCI card share one), of sysfs type TYPE: for a UART slot, 0 when empty.
tty() {
    below sys/devices/${3:-x} $1
    node $1
    echo $2 >$ttys/$1/type
}

# usb NAME MAKER MODEL SERIAL [PORT [INTERFACE [VENDOR PRODUCT]]]: the tty NAME on a USB adapter in
# the port PORT (1-1, 1-2... by default), on its interface INTERFACE (00) with the ids VENDOR
# PRODUCT (0403 6001). Calls with the same PORT make one multi-port chip: an FTDI FT2232 has one
# serial number for ttyUSB0 on 00 and ttyUSB1 on 01. A usb-serial ttyUSB hangs below a port device
# of its interface, any other tty (cdc_acm's ttyACM) on the interface itself. Called again for an
# unplugged NAME, it plugs that adapter in again, or another.
usb() {
    u=$hub/${5:-1-$((n += 1))} i=$u/${6:-00} s=$i
    case $1 in ttyUSB*) s=$i/$1 ;; esac
    below $s $1
    node $1
    echo ${6:-00} >$i/bInterfaceNumber
    echo ${7:-0403} >$u/idVendor
    echo ${8:-6001} >$u/idProduct
    echo "$2" >$u/manufacturer
    echo "$3" >$u/product
    echo "$4" >$u/serial
}

# below DIR NAME: the tty NAME of the device at DIR, as the kernel links it.
below() {
    mkdir -p $1/tty/$2
    ln -sfn $PWD/$1/tty/$2 $ttys
    ln -sfn ../.. $1/tty/$2/device
}

# console NAME...: the consoles the kernel writes to (console=ttyS0 on its command line).
console() { echo "$*" >$ttys/console/active; }

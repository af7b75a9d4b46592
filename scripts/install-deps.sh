#!/usr/bin/env bash
# Installs what building and running Velmora needs on the releases it is known to
# work on: Debian 12 and Ubuntu 24.04 LTS (Qt 6.4), Debian 13 (Qt 6.8). With
# --tests also what its tests, the package checks and, on Debian 12, the Windows
# cross-build need.
set -euo pipefail

scope=${1:-}
case "$scope" in
    "" | --tests) ;;
    *) echo "usage: scripts/install-deps.sh [--tests]" >&2; exit 2 ;;
esac

packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev)
test_packages=(
    fonts-symbola xvfb xauth xdotool x11-utils imagemagick
    locales util-linux procps
    debootstrap
    dpkg-dev file binutils gzip lintian desktop-file-utils appstream man-db groff-base
    # the remote-port tests run real RFC 2217 servers on loopback and make their TLS certificates
    ser2net python3-serial openssl
)

os_release() { (. /etc/os-release && printf "%s" "${!1:-}") 2>/dev/null || true; }
case "$(os_release ID):$(os_release VERSION_ID)" in
    debian:12 | debian:13 | ubuntu:24.04) ;;
    *)
        name=$(os_release PRETTY_NAME)
        echo "install-deps: ${name:-this system} is not a release whose packages this script knows." >&2
        echo "install-deps: it knows Debian 12 (bookworm), Debian 13 (trixie) and Ubuntu 24.04 LTS (noble)." >&2
        exit 1 ;;
esac

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

lists_fresh=no
install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ "${#missing[@]}" -gt 0 ] || return 0
    if [ "$lists_fresh" = no ]; then
        as_root apt-get update -q
        lists_fresh=yes
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

install_missing "${packages[@]}"
[ "$scope" = --tests ] || exit 0
install_missing "${test_packages[@]}"

# The Windows program is cross-built against a Qt for MinGW-w64 made from Debian 12's own source of the Qt
# installed here, and tested under Wine: only there.
windows_packages=(
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 ninja-build qt6-base-dev-tools xz-utils
    wine wine64 nsis icoutils socat fonts-dejavu-core unzip
)
if [ "$(os_release ID):$(os_release VERSION_ID)" = debian:12 ]; then
    install_missing "${windows_packages[@]}"
fi

# The title test reads month and weekday names through glibc's Russian locale.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    as_root localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi

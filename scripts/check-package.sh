#!/usr/bin/env bash
# Builds the Debian package and checks what it ships: the desktop entry, the
# AppStream metainfo, lintian's verdict (no hardening missing, down to its pedantic
# tags), that the unpacked program starts and that the pinning script is installed.
# Takes a configured build tree; build/package is configured here if it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/package}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
fi
rm -f "$build"/velmora_*.deb
cmake --build "$build" -j"$(nproc)" --target package
debs=("$build"/velmora_*.deb)
deb=${debs[0]}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"

# desktop-file-validate fails on errors only; its warnings and hints count here too.
if ! report=$(desktop-file-validate "$scratch"/root/usr/share/applications/*.desktop 2>&1) || [ -n "$report" ]; then
    echo "$report" >&2
    exit 1
fi
appstreamcli validate --no-net "$scratch"/root/usr/share/metainfo/*.metainfo.xml
lintian --info --display-info --pedantic --fail-on error,warning "$deb" | tee "$scratch/lintian"
if grep -q '^[A-Z]: velmora: hardening-' "$scratch/lintian"; then
    echo "check-package: $deb: lintian finds hardening missing" >&2
    exit 1
fi
usage=$("$scratch/root/usr/sbin/velmora-assign-com" 2>&1 || true)
if [ "$usage" != "velmora-assign-com: usage: velmora-assign-com [--force] COMn DEVICE | --list | --remove COMn" ]; then
    echo "check-package: $deb: velmora-assign-com does not run: $usage" >&2
    exit 1
fi

# A program that cannot find its libraries or its platform plugin dies at once.
mkdir -m 700 "$scratch/runtime"
XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen "$scratch/root/usr/bin/velmora" &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" || true
    echo "check-package: $deb: velmora did not stay up for two seconds" >&2
    exit 1
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
echo "check-package: $deb passed"

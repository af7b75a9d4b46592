#!/usr/bin/env bash
# Builds the Debian package and checks what it ships: the desktop entry, the
# AppStream metainfo, lintian's verdict, and that the unpacked program starts.
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
lintian --info --fail-on error,warning "$deb"

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

#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs the whole test suite: once as
# built (the tree the Debian package is made from), once under AddressSanitizer
# and UndefinedBehaviorSanitizer, then the checks of the Debian package. On
# Debian 12 the Windows program is then cross-built, tested under Wine and packed
# (scripts/build-windows.sh), and the suite as built and the package checks run
# once more on Debian 13 (Qt 6.8), in the root that scripts/debian13.sh keeps.
# With --as-built only the first run and the package checks.
set -euo pipefail
cd "$(dirname "$0")/.."

scope=${1:-all}
case "$scope" in
    all | --as-built) ;;
    *) echo "usage: scripts/test.sh [--as-built]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh --tests
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" "$@"
    cmake --build "$dir" -j"$jobs"
    ctest --test-dir "$dir" --output-on-failure --timeout 600 -j"$jobs"
}

run_suite build/test -DCMAKE_BUILD_TYPE=Release
if [ "$scope" = all ]; then
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BENCHMARKS=OFF
fi

# The package is made from the tree already built, which is what it installs.
bash scripts/check-package.sh build/test

if [ "$scope" = all ] && [ "$(. /etc/os-release && echo "$ID:$VERSION_ID")" = debian:12 ]; then
    bash scripts/build-windows.sh
    if [ "$(id -u)" -eq 0 ]; then
        bash scripts/debian13.sh bash scripts/test.sh --as-built
    else
        sudo bash scripts/debian13.sh bash scripts/test.sh --as-built
    fi
fi

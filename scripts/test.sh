#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs the whole test suite:
# once as built, once under AddressSanitizer and UndefinedBehaviorSanitizer,
# a short fuzzing run, and the checks of the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug "$@"
    cmake --build "$dir" -j"$jobs"
    ctest --test-dir "$dir" --output-on-failure --timeout 600 -j"$jobs"
}

run_suite build/test
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build/sanitize -DVELMORA_SANITIZE=ON -DVELMORA_BENCHMARKS=OFF

# A short fuzzing run of the settings parsers; libFuzzer comes with clang.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON -DVELMORA_BENCHMARKS=OFF
cmake --build build/fuzz -j"$jobs" --target fuzz_linesettings
ctest --test-dir build/fuzz -L fuzz --output-on-failure

# The package is made from the tree already built, which is what it installs.
bash scripts/check-package.sh build/test

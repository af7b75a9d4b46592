#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs the whole test suite:
# once as built, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug "$@"
    cmake --build "$dir" -j"$jobs"
    ctest --test-dir "$dir" --output-on-failure --timeout 600
}

run_suite build/test
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build/sanitize -DVELMORA_SANITIZE=ON -DVELMORA_BENCHMARKS=OFF

# A short fuzzing run of the settings parsers; libFuzzer comes with clang.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON -DVELMORA_BENCHMARKS=OFF
cmake --build build/fuzz -j"$jobs" --target fuzz_linesettings
ctest --test-dir build/fuzz -L fuzz --output-on-failure

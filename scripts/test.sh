#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test (native unit tests,
# the export check, the JVM tests with CheckJNI, short smoke runs of the benchmarks, and a bounded
# fuzz run when clang is present).
# Exits non-zero when anything fails.
#
#   scripts/test.sh            everything
#   BUILD_DIR=... scripts/test.sh   another build directory (default: build)
#   FUZZ_SECONDS=... scripts/test.sh   how long each fuzz target runs (default: 60)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${BUILD_DIR:-build}
jobs=${JOBS:-2}

section() { printf '\n=== %s ===\n' "$*"; }

section "Release build in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$jobs"

section "Native and JVM tests"
ctest --test-dir "$build" --output-on-failure -j"$jobs"

# The libFuzzer targets need clang: a clang build of their own, each target run for a bounded
# time.
if command -v clang++ >/dev/null && command -v clang >/dev/null; then
    fuzz_build=${FUZZ_BUILD_DIR:-build-fuzz}
    section "Fuzzing (clang) in $fuzz_build"
    cmake -S . -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJKESTRUNE_FUZZ=ON \
        -DJKESTRUNE_BUILD_JAVA=OFF -DJKESTRUNE_FUZZ_SECONDS="${FUZZ_SECONDS:-60}" \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
    cmake --build "$fuzz_build" -j"$jobs" --target wave_fuzzer
    ctest --test-dir "$fuzz_build" -L fuzz --output-on-failure
else
    section "Fuzzing skipped: clang is not installed"
fi

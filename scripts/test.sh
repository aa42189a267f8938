#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test (native unit tests,
# the export check, the JVM tests with CheckJNI, short smoke runs of the benchmarks, and a bounded
# fuzz run when clang is present), then cross-builds the Windows DLL and runs its tests under wine
# when the MinGW-w64 compiler and wine are installed. Exits non-zero when anything fails.
#
#   scripts/test.sh            everything
#   BUILD_DIR=... scripts/test.sh   another build directory (default: build)
#   FUZZ_SECONDS=... scripts/test.sh   how long each fuzz target runs (default: 60)
#   WIN_BUILD_DIR=... scripts/test.sh   another Windows build directory (default: build-win)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${BUILD_DIR:-build}
build_win=${WIN_BUILD_DIR:-build-win}
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

if command -v x86_64-w64-mingw32-g++ >/dev/null && command -v wine >/dev/null; then
    section "Windows cross-build in $build_win"
    cmake -S . -B "$build_win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release
    cmake --build "$build_win" -j"$jobs"
    # Every test program runs under wine in a private prefix inside $build_win, with a
    # timeout (see tests/windows/CMakeLists.txt).
    section "Windows tests under wine"
    ctest --test-dir "$build_win" -L wine --output-on-failure --no-tests=error -j"$jobs"
else
    section "Windows cross-build skipped: x86_64-w64-mingw32-g++ or wine is missing"
fi

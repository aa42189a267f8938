#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test (native unit tests,
# the export check, and the JVM tests with CheckJNI), then cross-builds the Windows DLL and runs
# its tests under wine when the MinGW-w64 compiler and wine are installed. Exits non-zero when
# anything fails.
#
#   scripts/test.sh            everything
#   BUILD_DIR=... scripts/test.sh   another build directory (default: build)
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

if ! command -v x86_64-w64-mingw32-g++ >/dev/null || ! command -v wine >/dev/null; then
    section "Windows cross-build skipped: x86_64-w64-mingw32-g++ or wine is missing"
    exit 0
fi

section "Windows cross-build in $build_win"
cmake -S . -B "$build_win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release
cmake --build "$build_win" -j"$jobs"

# Every test program runs under wine in a private prefix inside $build_win, with a timeout
# (see tests/windows/CMakeLists.txt).
section "Windows tests under wine"
ctest --test-dir "$build_win" -L wine --output-on-failure --no-tests=error -j"$jobs"

#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test (native unit tests,
# the export check, and the JVM tests with CheckJNI). Exits non-zero when anything fails.
#
#   scripts/test.sh            everything
#   BUILD_DIR=... scripts/test.sh   another build directory (default: build)
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

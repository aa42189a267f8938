#!/usr/bin/env bash
# The test command: installs what is missing, cross-builds the Windows DLLs when the MinGW-w64
# compiler and wine are installed (first, so that the jar of the Linux build carries them),
# builds, and runs every test (native unit tests, the export check, the JVM tests with CheckJNI,
# the accuracy test with its table, short smoke runs of the benchmarks, and a bounded fuzz run
# when clang is present), then the Windows tests under wine. Exits non-zero when anything fails.
#
#   scripts/test.sh            everything
#   BUILD_DIR=... scripts/test.sh   another build directory (default: build)
#   FUZZ_SECONDS=... scripts/test.sh   how long each fuzz target runs (default: 30)
#   WIN_BUILD_DIR=... scripts/test.sh   another Windows build directory (default: build-win)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${BUILD_DIR:-build}
build_win=${WIN_BUILD_DIR:-build-win}
jobs=${JOBS:-2}

section() { printf '\n=== %s (at %d s) ===\n' "$*" "$SECONDS"; }

windows=false
if command -v x86_64-w64-mingw32-g++ >/dev/null && command -v wine >/dev/null; then
    windows=true
    section "Windows cross-build in $build_win"
    cmake -S . -B "$build_win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release
    cmake --build "$build_win" -j"$jobs"
fi

section "Release build in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DJKESTRUNE_WINDOWS_LIB_DIR="$(realpath -m "$build_win/lib")"
cmake --build "$build" -j"$jobs"

section "Native and JVM tests"
ctest --test-dir "$build" --output-on-failure -j"$jobs" -LE 'soak|valgrind|accuracy|slurm'

# A private single-node Slurm cluster (started and stopped by the test) runs a sharded batch;
# alone, since its tasks take the machine's cores.
section "Batch identification on a Slurm cluster"
ctest --test-dir "$build" -L slurm --no-tests=error --output-on-failure -V

section "Accuracy on real speech (its table follows)"
ctest --test-dir "$build" -L accuracy --no-tests=error --output-on-failure -V

# --- Reliability: soak, valgrind, sanitizers -------------------------------------------------
# The soaks (the JVM's: 100 000 identification calls from 8 threads with CheckJNI; the engine's
# model cache: 3 000 loads, scorings, releases and rewrites on 5 threads; resident memory may
# not grow in either), the native tests under valgrind's memcheck, the native tests in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the multi-threaded identification and
# model-cache tests in a ThreadSanitizer build. Every report stops the run. The JVM tests stay
# out of the sanitizer builds: a JVM does not run under their runtimes. Those builds are
# unoptimised: they build in a third of the time of an optimised one, and the sanitizers see
# every access as written. The AddressSanitizer build runs each test program as one test, so that
# a program's shared fixtures (trained models) are built once, not once per test case.
section "Soak tests"
ctest --test-dir "$build" -L soak --no-tests=error -V

section "Native tests under valgrind memcheck"
ctest --test-dir "$build" -L valgrind --no-tests=error --output-on-failure -j"$jobs"

sanitizer_env=(
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
)

asan_build=${ASAN_BUILD_DIR:-build-asan}
section "Native tests with AddressSanitizer and UndefinedBehaviorSanitizer in $asan_build"
cmake -S . -B "$asan_build" -DCMAKE_BUILD_TYPE=Debug \
    -DJKESTRUNE_SANITIZE=address,undefined -DJKESTRUNE_BUILD_JAVA=OFF \
    -DJKESTRUNE_WHOLE_TEST_PROGRAMS=ON -DJKESTRUNE_BUILD_BENCH=OFF
cmake --build "$asan_build" -j"$jobs"
env "${sanitizer_env[@]}" \
    ctest --test-dir "$asan_build" -L native --no-tests=error --output-on-failure -j"$jobs"

tsan_build=${TSAN_BUILD_DIR:-build-tsan}
section "Identification and the model cache on many threads with ThreadSanitizer in $tsan_build"
cmake -S . -B "$tsan_build" -DCMAKE_BUILD_TYPE=Debug -DJKESTRUNE_SANITIZE=thread \
    -DJKESTRUNE_BUILD_JAVA=OFF
cmake --build "$tsan_build" -j"$jobs" --target identification_threads_test \
    kestrune_cache_threads_test
env "${sanitizer_env[@]}" \
    ctest --test-dir "$tsan_build" -R '^(IdentificationThreads|ModelCacheThreads)\.' \
    --no-tests=error --output-on-failure
# --- End of the reliability stages ------------------------------------------------------------

# The libFuzzer targets need clang: a clang build of their own, each target run for a bounded
# time.
if command -v clang++ >/dev/null && command -v clang >/dev/null; then
    fuzz_build=${FUZZ_BUILD_DIR:-build-fuzz}
    section "Fuzzing (clang) in $fuzz_build"
    cmake -S . -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJKESTRUNE_FUZZ=ON \
        -DJKESTRUNE_BUILD_JAVA=OFF -DJKESTRUNE_FUZZ_SECONDS="${FUZZ_SECONDS:-30}" \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
    cmake --build "$fuzz_build" -j"$jobs" --target wave_fuzzer identification_fuzzer model_files_fuzzer \
        front_end_fuzzer
    ctest --test-dir "$fuzz_build" -L fuzz --output-on-failure -j"$jobs"
else
    section "Fuzzing skipped: clang is not installed"
fi

if $windows; then
    # Every test program runs under wine in a private prefix inside $build_win, with a
    # timeout (see tests/windows/CMakeLists.txt).
    section "Windows tests under wine"
    ctest --test-dir "$build_win" -L wine --output-on-failure --no-tests=error -j"$jobs"
else
    section "Windows cross-build skipped: x86_64-w64-mingw32-g++ or wine is missing"
fi

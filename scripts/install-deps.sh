#!/usr/bin/env bash
# Installs what the project needs to build, test and run, from Debian's packages. Idempotent:
# installs only what is missing. Needs root (or sudo) when something is missing.
set -euo pipefail

packages=(
    # build
    g++ cmake make binutils pkg-config locales
    # the Java side and its tests
    openjdk-17-jdk-headless junit5
    # native tests, benchmarks, fuzzing
    libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev valgrind
    # audio tools and libraries: test fixtures, cross-checks, the engine's resampler
    sox libsox-fmt-base libsoxr-dev libsndfile1-dev libeigen3-dev
    # the development protocols (scripts/protocols.py)
    python3
    # the Windows cross-build and its tests
    g++-mingw-w64-x86-64 wine wine64
    # the batch test on a single-node Slurm cluster (tests/slurm)
    slurmctld slurmd slurm-client munge
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: everything is installed"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

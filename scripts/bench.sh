#!/usr/bin/env bash
# The benchmark command: installs what is missing, builds, runs the four benchmark groups
# (decoding, ranking, the whole call from Java with the scripted engine, identification from
# Java with the reference engine) and writes their tables, with a description of the machine,
# to $BUILD_DIR/bench/results/results.md (one file per group beside it). Every figure is set
# against a baseline measured in the same run.
#
#   scripts/bench.sh                  everything, at length (a quarter of an hour)
#   QUICK=1 scripts/bench.sh          a short smoke run of everything
#   ONLY="reference" scripts/bench.sh only the groups named: decode ranking whole-call reference
#                                     batch
#   REPETITIONS=N scripts/bench.sh    repetitions of every native case (default 7)
#   BUILD_DIR=... scripts/bench.sh    another build directory (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${BUILD_DIR:-build}
jobs=${JOBS:-2}
quick=${QUICK:-0}
repetitions=${REPETITIONS:-7}
only=${ONLY:-decode ranking whole-call reference batch}

# Whether the group is among those asked for.
wanted() { [[ " $only " == *" $1 "* ]]; }

section() { printf '\n=== %s ===\n' "$*"; }

section "Release build in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DJKESTRUNE_BUILD_BENCH=ON \
    -DJKESTRUNE_BUILD_JAVA=ON
cmake --build "$build" -j"$jobs"

results=$build/bench/results
mkdir -p "$results"

# Repetitions of all cases run in random order, so that a change in the machine's load during
# the run falls on the baselines and on what is compared with them alike.
native_args=(--benchmark_repetitions="$repetitions" --benchmark_min_time=0.2
    --benchmark_enable_random_interleaving=true)
decode_filter=.
ranking_filter=.
if [[ $quick == 1 ]]; then
    native_args=(--benchmark_repetitions=2 --benchmark_min_time=0.001)
    decode_filter='/1s$'
    ranking_filter='/(100|1000)$'
fi

section "Machine"
{
    echo "Machine"
    echo
    echo "- Processor: $(lscpu | sed -n 's/^Model name: *//p')" \
        "(family $(lscpu | sed -n 's/^CPU family: *//p'), model $(lscpu | sed -n 's/^Model: *//p'))," \
        "$(nproc) cores," \
        "$(lscpu | sed -n 's/^Thread(s) per core: *//p') thread(s) per core"
    echo "- SIMD flags: $(grep -m1 '^flags' /proc/cpuinfo | tr ' ' '\n' |
        grep -E '^(sse4_2|avx|avx2|avx512f|avx512bw|avx512vl|avx512vbmi|avx512_vbmi2|gfni)$' |
        tr '\n' ' ')"
    echo "- Memory: $(free -g | awk '/^Mem:/ {print $2}') GiB; transparent huge pages:" \
        "$(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)"
    echo "- Kernel $(uname -r); $(c++ --version | head -1);" \
        "$(java -version 2>&1 | head -1)"
    echo "- Run at $(date -u '+%Y-%m-%d %H:%M UTC'); load average before the run:" \
        "$(cut -d' ' -f1-3 /proc/loadavg)"
} >"$results/machine.md"
cat "$results/machine.md"

java_args=()
if [[ $quick == 1 ]]; then
    java_args=(--quick)
fi
parts=(machine)

if wanted decode; then
    section "Decoding"
    "$build/bench/decode_benchmark" "${native_args[@]}" --benchmark_filter="$decode_filter" \
        --report="$results/decode.md"
    parts+=(decode)
fi

if wanted ranking; then
    section "Ranking"
    "$build/bench/ranking_benchmark" "${native_args[@]}" --benchmark_filter="$ranking_filter" \
        --report="$results/ranking.md"
    parts+=(ranking)
fi

if wanted whole-call; then
    section "Whole call from Java"
    work=$build/bench/work
    mkdir -p "$work"
    LD_LIBRARY_PATH="$build/tests/scripted-engine" KESTRUNE_SCRIPT="$work/script" \
        java -Xms2g -Xmx2g -Djava.library.path="$build/lib:$build/bench" \
        -cp "$build/bench/jkestrune-bench.jar:$build/java/jkestrune.jar" \
        com.mirelta.bench.WholeCallBenchmark "${java_args[@]}" \
        --script "$work/script" --report "$results/whole_call.md"
    parts+=(whole_call)
fi

if wanted reference; then
    section "Identification from Java with the reference engine"
    # The target directories (up to 4096 copies of enrolled models, about 0.6 GB) are kept in
    # $build/bench/reference and made again only when the tool or the background model change.
    commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
    if [[ -n $(git status --porcelain --untracked-files=no 2>/dev/null) ]]; then
        commit="$commit with uncommitted changes"
    fi
    java -Xmx1g -Djava.library.path="$build/lib:$build/bench" \
        -cp "$build/bench/jkestrune-bench.jar:$build/java/jkestrune.jar" \
        com.mirelta.bench.ReferenceEngineBenchmark "${java_args[@]}" \
        --tool "$build/bin/kestrune" --ubm data/ubm --corpus data/fsdd/recordings \
        --work "$build/bench/reference" --report "$results/reference_engine.md" \
        --label "commit $commit"
    parts+=(reference_engine)
fi

if wanted batch; then
    section "Batch identification: threads, local shards, a Slurm job array"
    bench/batch_benchmark.sh "$build" "$results/batch.md" "$quick"
    parts+=(batch)
fi

section "Results"
{
    for part in "${parts[@]}"; do
        if [[ -f $results/$part.md ]]; then
            cat "$results/$part.md"
            echo
        fi
    done
} >"$results/results.md"
echo "Tables written to $results/results.md"

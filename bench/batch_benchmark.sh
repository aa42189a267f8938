#!/usr/bin/env bash
# The batch benchmark, run by scripts/bench.sh (group "batch"): real recordings of 2 to 5 s
# against copies of enrolled targets, identified by `batch` on 1 and 2 threads of one process,
# by scripts/slurm-identify.sh --local with 2 shards, and by a job array on the test Slurm
# cluster with 2 slots (where it can run: as root with Slurm installed); the fixed cost of a
# task; and one recording's cost taken apart in one process. Writes a Markdown table.
#
#   bench/batch_benchmark.sh BUILD_DIR REPORT [QUICK]
#   BATCH_RECORDINGS=N bench/...      N recordings instead of 2000 (longer shards show what
#                                     a cluster gives once the scheduler's start is amortised)
set -euo pipefail
cd "$(dirname "$0")/.."

build=$1 report=$2 quick=${3:-0}
jar=$build/java/jkestrune.jar
bench_cp=$build/bench/jkestrune-bench.jar:$jar
work=$build/bench/reference
targets=1000 recordings=${BATCH_RECORDINGS:-2000} split_count=200
if [[ $quick == 1 ]]; then
    targets=20 recordings=40 split_count=10
fi

read -r models list < <(java -cp "$bench_cp" com.mirelta.bench.BatchBenchmark prepare \
    --tool "$build/bin/kestrune" --ubm data/ubm --corpus data/fsdd/recordings --work "$work" \
    --targets "$targets" --recordings "$recordings")
runs=$build/bench/batch-runs
rm -rf "$runs"
mkdir -p "$runs"
head -n 1 "$list" >"$runs/one.txt"

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
# Seconds a command takes, its output in a log; a failure stops the benchmark.
timed() {
    local log=$1 start
    shift
    start=$(now)
    "$@" >"$runs/$log.log" 2>&1 || {
        cat "$runs/$log.log" >&2
        echo "batch benchmark: failed: $*" >&2
        exit 1
    }
    calc "$(now) - $start"
}
batch() {
    java -jar "$jar" batch --ubm data/ubm --models "$models" "$@"
}

rows=()
row() { rows+=("$(printf '| %s | %.1f | %.1f | %s |' "$1" "$2" "$(calc "$recordings / $2")" "$3")"); }

fixed=0
for n in 1 2 3; do
    once=$(timed "fixed-$n" batch --list "$runs/one.txt" --out "$runs/one-$n.tsv")
    fixed=$(calc "$fixed + $once")
done
fixed=$(calc "$fixed / 3")

one=$(timed one-thread batch --list "$list" --threads 1 --out "$runs/one-thread.tsv")
row "batch, 1 thread" "$one" "1.00"
two=$(timed two-threads batch --list "$list" --threads 2 --out "$runs/two-threads.tsv")
row "batch, 2 threads" "$two" "$(printf '%.2f' "$(calc "$one / $two")")"
local_run=$(timed local scripts/slurm-identify.sh --local --list "$list" --models "$models" \
    --ubm data/ubm --out "$runs/local.tsv" --shards 2 --cpus 1)
row "slurm-identify.sh --local, 2 shards of 1 thread" "$local_run" \
    "$(printf '%.2f' "$(calc "$one / $local_run")")"
same="local: $(cmp -s "$runs/one-thread.tsv" "$runs/local.tsv" && echo identical || echo DIFFERENT)"

slurm_note="not measured: the test cluster needs root with Slurm and munge installed"
if [[ $(id -u) -eq 0 ]] && command -v slurmctld >/dev/null && command -v munged >/dev/null; then
    # shellcheck source=tests/slurm/cluster.sh
    source tests/slurm/cluster.sh
    cluster=$(mktemp -d)
    chmod 0755 "$cluster"  # munged's socket is under it
    trap 'cluster_stop; rm -rf "$cluster"' EXIT
    if cluster_start "$cluster"; then
        slurm=$(POLL_SECONDS=0.2 timed slurm scripts/slurm-identify.sh --list "$list" \
            --models "$models" --ubm data/ubm --out "$runs/slurm.tsv" --shards 2 --cpus 1)
        row "Slurm job array, 2 slots of 1 CPU (2 shards)" "$slurm" \
            "$(printf '%.2f' "$(calc "$one / $slurm")")"
        same="$same; Slurm: $(cmp -s "$runs/one-thread.tsv" "$runs/slurm.tsv" && echo identical ||
            echo DIFFERENT)"
        slurm_note=""
    else
        slurm_note="not measured: the test cluster did not start"
    fi
fi

java -Djava.library.path="$build/lib:$build/bench" -cp "$bench_cp" \
    com.mirelta.bench.BatchBenchmark split --ubm data/ubm --models "$models" --list "$list" \
    --count "$split_count" --report "$runs/split.md"

{
    echo "Batch identification"
    echo
    echo "$recordings recordings of 2 to 5 s (held-out digits of six speakers joined) against" \
        "$targets targets, ranked by score, best target only; wall time of the whole command" \
        "(JVM start, background model, list, fingerprint, every recording, output). Speed-up" \
        "against 1 thread. Merged outputs against the 1-thread run: $same."
    echo
    echo "| Run | Wall s | Recordings/s | Speed-up |"
    echo "|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    [[ -z $slurm_note ]] || echo "| Slurm job array, 2 slots | $slurm_note | | |"
    echo
    printf 'Fixed cost of a task (batch of one recording, mean of 3 runs): %.2f s\n' "$fixed"
    echo
    echo "One process, taken apart:"
    echo
    echo "| Step | Time |"
    echo "|---|---|"
    cat "$runs/split.md"
} >"$report"
cat "$report"

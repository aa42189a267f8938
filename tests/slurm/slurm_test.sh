#!/usr/bin/env bash
# Batch identification on a real Slurm cluster, started for the test (tests/slurm/cluster.sh):
#   1. a cluster started by a run that then fails is stopped all the same;
#   2. recordings of the repository's speakers, identified as a job array of 4 shards and merged
#      by scripts/slurm-identify.sh, equal a single-process `batch` run byte for byte;
#   3. a task that fails (its shard's output cannot be written) fails only its shard, and the
#      same command run again submits that shard alone and ends complete;
#   4. the same shards as local processes (--local) give the same file;
#   5. --enroll enrolls a list of targets as a job array.
# Exit 77 (skipped, with a line saying why) where the cluster cannot run: not root, or Slurm or
# munge not installed. Under CI (CI=true) that is a failure instead, as is a cluster that does
# not start.
#
#   slurm_test.sh REPO JAR KESTRUNE_TOOL REAL_ENGINE_WORK CORPUS
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/slurm/cluster.sh
source "$here/cluster.sh"

# The child run of check 1: starts a cluster, records its daemons, then fails.
if [[ ${1:-} == --fail-after-start ]]; then
    trap cluster_stop EXIT
    cluster_start "$2" || exit 1
    cluster_pids >"$2/daemons"
    exit 3
fi

repo=$1 jar=$2 tool=$3 real=$4 corpus=$5
identify=$repo/scripts/slurm-identify.sh

cannot_run() {
    if [[ ${CI:-} == true ]]; then
        echo "FAIL: $* (CI must run the cluster test)"
        exit 1
    fi
    echo "SKIP: $*"
    exit 77
}
[[ $(id -u) -eq 0 ]] || cannot_run "a test cluster needs root (slurmd runs jobs as their users)"
for command in munged slurmctld slurmd sbatch squeue sinfo python3; do
    command -v "$command" >/dev/null || cannot_run "$command is not installed (scripts/install-deps.sh installs it)"
done

tmp=$(mktemp -d)
trap 'cluster_stop; rm -rf "$tmp"' EXIT
chmod 0755 "$tmp"  # munged's socket is under it
failures=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what (at $SECONDS s)"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
all_dead() {
    local pid
    [[ -s $1 ]] || return 1
    for pid in $(cat "$1"); do
        ! kill -0 "$pid" 2>/dev/null || return 1
    done
}

# 1. The cluster stops on a failure's exit path.
set +e
"$0" --fail-after-start "$tmp/failing" >"$tmp/failing.log" 2>&1
status=$?
set -e
if [[ $status -eq 1 ]]; then
    cat "$tmp/failing.log"
    cannot_run "the test cluster did not start"
fi
check "a run that fails after starting the cluster exits with its own status" [ "$status" -eq 3 ]
check "and its daemons are gone" all_dead "$tmp/failing/daemons"

start=$SECONDS
cluster_start "$tmp/cluster" || cannot_run "the test cluster did not start"
echo "cluster up in $((SECONDS - start)) s"

# The recordings: five digits of index 40 of the three enrolled speakers and of one who is not
# enrolled, and one path that names no file. (Few: with the small background model
# trained for the JVM tests, the engine takes about 0.2 s of CPU per recording.)
# Relative to the folder the commands are given in, as lists often are.
list=$tmp/list.txt
cd "$corpus"
for speaker in george jackson lucas nicolas; do
    for index in 40; do
        for digit in 0 1 2 3 4; do
            echo "${digit}_${speaker}_${index}.wav"
        done
    done
done >"$list"
sed -i '17a\'"$tmp"'/vanished.wav' "$list"  # position 17: shard 1
options=(--top 2 --max-far 20)
models=(--models "$real/models" --ubm "$real/ubm")

set +e
java -jar "$jar" batch --list "$list" "${models[@]}" "${options[@]}" --threads 2 \
    --out "$tmp/single.tsv" 2>"$tmp/single.log"
status=$?
set -e
check "the single-process run reports its failed recording by its exit status" [ "$status" -eq 1 ]
check "and writes every recording's line" [ "$(wc -l <"$tmp/single.tsv")" -eq 22 ]

# 2 and 3: shard 2's output cannot be written (a folder stands where its partial file goes).
work=$tmp/shards
mkdir -p "$work/.2.tsv.partial"
touch "$work/.2.tsv.partial/blocker"
run_identify() {
    POLL_SECONDS=0.5 "$identify" --list "$list" "${models[@]}" --out "$tmp/all.tsv" --shards 4 \
        --cpus 1 --work "$work" "${options[@]}" >"$tmp/$1.log" 2>&1
}
array_of() { sed -n 's/.*job array \([0-9]*\),.*/\1/p' "$tmp/$1.log"; }
# The "ArrayTaskId=K ExitCode=S:0" of every task of an array job, from the job completion log.
tasks_of() {
    grep -o "ArrayJobId=$1 ArrayTaskId=[0-9]* .*ExitCode=[0-9]*" "$cluster_dir/log/jobcomp.txt" |
        sed 's/.*ArrayTaskId=\([0-9]*\).*ExitCode=\([0-9]*\)/\1:\2/' | sort
}
set +e
run_identify first
status=$?
set -e
cat "$tmp/first.log"
check "the run with a failing task fails" [ "$status" -eq 1 ]
check "and names shard 2 alone" grep -q "1 of 4 shards failed (2)" "$tmp/first.log"
first_array=$(array_of first)
tasks=$(tasks_of "$first_array" | tr '\n' ' ')
echo "first array $first_array, tasks (shard:exit status): $tasks"
# Shard 1 holds the vanished file: complete, with a failure line, so exit status 1.
check "four tasks ran; shard 2 exited 5 (no output), shard 1 exited 1 (a failed recording)" \
    [ "$tasks" == "0:0 1:1 2:5 3:0 " ]
check "no merged file yet" [ ! -e "$tmp/all.tsv" ]

rm -r "$work/.2.tsv.partial"
set +e
run_identify again
status=$?
set -e
cat "$tmp/again.log"
check "the run again succeeds" [ "$status" -eq 0 ]
check "submitting shard 2 alone" grep -q "submitting shards 2 of 4" "$tmp/again.log"
check "whose array ran one task" [ "$(tasks_of "$(array_of again)" | tr '\n' ' ')" == "2:0 " ]
check "the merged output equals the single-process output byte for byte" \
    cmp "$tmp/single.tsv" "$tmp/all.tsv"

# 4. The same shards as local processes.
set +e
"$identify" --local --list "$list" "${models[@]}" --out "$tmp/local.tsv" --shards 4 \
    "${options[@]}" >"$tmp/local.log" 2>&1
set -e
check "--local gives the same file" cmp "$tmp/single.tsv" "$tmp/local.tsv"

# 5. Three targets from a list (ten digits, about 4 s, each), as 2 shards on the cluster.
for speaker in george lucas theo; do
    printf '%s' "$speaker"
    printf '\t%s' "$corpus"/[0-9]_"${speaker}"_15.wav
    printf '\n'
done >"$tmp/names.tsv"
set +e
KESTRUNE=$tool POLL_SECONDS=0.5 "$identify" --enroll --list "$tmp/names.tsv" \
    --models "$tmp/enrolled" --ubm "$real/ubm" --shards 2 >"$tmp/enroll.log" 2>&1
status=$?
set -e
cat "$tmp/enroll.log"
check "--enroll succeeds" [ "$status" -eq 0 ]
check "and writes every target of the list" \
    [ "$(find "$tmp/enrolled" -name target.krn | wc -l)" -eq 3 ]

if [[ $failures -ne 0 ]]; then
    echo "logs: $(ls "$work/logs")"
    tail -n 5 "$work"/logs/*.log
    exit 1
fi
echo "slurm test passed in $SECONDS s"

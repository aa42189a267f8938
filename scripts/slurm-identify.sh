#!/usr/bin/env bash
# Identifies a whole archive as N shards: a Slurm job array (one task per shard) and a merge job
# that depends on it, or with --local the same shards as processes on this machine. Waits for
# the end, reports the shards that failed, and, run again, does only the shards whose output is
# missing. With --enroll it enrolls a list of targets (kestrune enroll --list) the same way.
#
#   scripts/slurm-identify.sh --list LIST --models DIR [--ubm DIR] --out ALL.tsv --shards N
#       [--cpus C] [--partition P] [--local] [--work DIR] [--top M] [--max-far P]
#       [--rank score|frr|far] [-- extra sbatch options]
#   scripts/slurm-identify.sh --enroll --list NAMES.tsv --models DIR [--ubm DIR] --shards N
#       [--cpus C] [--partition P] [--local] [--work DIR] [-- extra sbatch options]
#
# Each shard's output goes to the work folder (default ALL.tsv.shards, or NAMES.tsv.shards
# with --enroll), with its log and its exit status; the shards must see the same paths, so put
# the list, the models, the work folder and the tools on a file system that every node mounts.
# After changing the models or the options, remove the work folder: the merge refuses shards of
# another computation and names them.
#
# Environment: JKESTRUNE_JAR (default build/java/jkestrune.jar), KESTRUNE (default
# build/bin/kestrune), JAVA (default java), POLL_SECONDS (how often to look at the queue,
# default 5).
#
# Exit status: 0 complete, 1 some shard failed or the merge refused (named on stderr), 2 bad
# usage.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jar=${JKESTRUNE_JAR:-$root/build/java/jkestrune.jar}
kestrune=${KESTRUNE:-$root/build/bin/kestrune}
java=${JAVA:-java}
poll=${POLL_SECONDS:-5}

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2
    exit 2
}
fail_usage() {
    echo "slurm-identify: $*" >&2
    usage
}

list='' models='' ubm='' out='' shards='' cpus=1 partition='' local=false enroll=false work=''
batch_options=() sbatch_extra=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --list | --models | --ubm | --out | --shards | --cpus | --partition | --work | --top | \
            --max-far | --rank)
            [[ $# -ge 2 ]] || fail_usage "$1 needs a value"
            case $1 in
                --list) list=$2 ;;
                --models) models=$2 ;;
                --ubm) ubm=$2 ;;
                --out) out=$2 ;;
                --shards) shards=$2 ;;
                --cpus) cpus=$2 ;;
                --partition) partition=$2 ;;
                --work) work=$2 ;;
                *) batch_options+=("$1" "$2") ;;
            esac
            shift 2
            ;;
        --local) local=true && shift ;;
        --enroll) enroll=true && shift ;;
        --) shift && sbatch_extra=("$@") && break ;;
        -h | --help) usage ;;
        *) fail_usage "unknown argument '$1'" ;;
    esac
done
[[ -n $list && -n $models ]] || fail_usage "--list and --models are required"
[[ $shards =~ ^[1-9][0-9]*$ ]] || fail_usage "--shards takes a whole number above 0"
[[ $cpus =~ ^[1-9][0-9]*$ ]] || fail_usage "--cpus takes a whole number above 0"
if $enroll; then
    [[ -z $out ]] || fail_usage "--enroll writes into --models; it takes no --out"
    work=${work:-$list.shards}
else
    [[ -n $out ]] || fail_usage "--out is required"
    work=${work:-$out.shards}
fi

# Absolute paths: the tasks start in another folder, maybe on another node.
absolute() { realpath -m -- "$1"; }
list=$(absolute "$list")
models=$(absolute "$models")
[[ -z $ubm ]] || ubm=$(absolute "$ubm")
[[ -z $out ]] || out=$(absolute "$out")
work=$(absolute "$work")
mkdir -p "$work/logs"

# A shard is done when its output is there: batch renames a complete file into place, and an
# enroll task writes its status 0 last.
done_marker() {
    if $enroll; then echo "$work/$1.enrolled"; else echo "$work/$1.tsv"; fi
}
missing=()
for ((k = 0; k < shards; k++)); do
    [[ -e $(done_marker "$k") ]] || missing+=("$k")
done

# The task: one shard, by the index in its first argument. The options are written into the
# script, so that a task needs no environment from the submitting shell. It runs in the folder
# the command was given in, where the list's relative paths lead.
task=$work/task.sh
{
    echo '#!/usr/bin/env bash'
    echo 'k=${1:-$SLURM_ARRAY_TASK_ID}'
    printf 'cd %q || exit 1\n' "$PWD"
    printf 'work=%q\n' "$work"
    if $enroll; then
        printf '%q enroll --models %q --list %q' "$kestrune" "$models" "$list"
        [[ -z $ubm ]] || printf ' --ubm %q' "$ubm"
        printf ' --shard "$k/%d" 2>"$work/logs/$k.log"\n' "$shards"
        echo 'status=$?'
        echo 'echo "$status" >"$work/$k.status"'
        echo '[[ $status -ne 0 ]] || : >"$work/$k.enrolled"'
    else
        printf '%q -jar %q batch --list %q --models %q' "$java" "$jar" "$list" "$models"
        [[ -z $ubm ]] || printf ' --ubm %q' "$ubm"
        for option in ${batch_options[@]+"${batch_options[@]}"}; do printf ' %q' "$option"; done
        printf ' --threads %d --shard "$k/%d" --out "$work/$k.tsv" 2>"$work/logs/$k.log"\n' \
            "$cpus" "$shards"
        echo 'status=$?'
        echo 'echo "$status" >"$work/$k.status"'
    fi
    echo 'exit "$status"'
} >"$task"
chmod +x "$task"

merge=$work/merge.sh
{
    echo '#!/usr/bin/env bash'
    printf 'cd %q || exit 1\n' "$work"
    if $enroll; then
        echo 'exit 0'
    else
        printf '%q -jar %q merge --out %q' "$java" "$jar" "$out"
        for ((k = 0; k < shards; k++)); do printf ' %d.tsv' "$k"; done
        echo ' 2>logs/merge.log'
    fi
} >"$merge"
chmod +x "$merge"

joined() {
    local IFS=,
    echo "$*"
}
if [[ ${#missing[@]} -eq 0 ]]; then
    echo "slurm-identify: every shard is done; nothing to submit"
elif $local; then
    echo "slurm-identify: running shards $(joined "${missing[@]}") of $shards here"
    pids=()
    for k in "${missing[@]}"; do
        "$task" "$k" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || true; done
else
    echo "slurm-identify: submitting shards $(joined "${missing[@]}") of $shards"
    submit=(sbatch --parsable --chdir="$PWD")
    [[ -z $partition ]] || submit+=(--partition="$partition")
    array_id=$("${submit[@]}" --array="$(joined "${missing[@]}")" --cpus-per-task="$cpus" \
        --job-name=kestrune-shards --output="$work/logs/slurm-%A_%a.out" \
        ${sbatch_extra[@]+"${sbatch_extra[@]}"} "$task")
    array_id=${array_id%%;*}
    merge_id=$("${submit[@]}" --dependency="afterany:$array_id" --job-name=kestrune-merge \
        --output="$work/logs/slurm-merge-%j.out" ${sbatch_extra[@]+"${sbatch_extra[@]}"} "$merge")
    merge_id=${merge_id%%;*}
    echo "slurm-identify: job array $array_id, merge job $merge_id; waiting"
    # Done when the merge job has left the queue: it starts only after every task has ended. A
    # controller that does not answer for a while is waited for, not taken for the end.
    while :; do
        if state=$(squeue -h -j "$merge_id" -o %T 2>"$work/logs/squeue.err"); then
            [[ -n $state ]] || break
        elif grep -q "Invalid job id" "$work/logs/squeue.err"; then
            break
        fi
        sleep "$poll"
    done
fi

failed=()
for ((k = 0; k < shards; k++)); do
    if [[ ! -e $(done_marker "$k") ]]; then
        failed+=("$k")
        status=$(cat "$work/$k.status" 2>/dev/null || echo "none: the task did not end by itself")
        echo "slurm-identify: shard $k/$shards failed (exit status $status); its log:" \
            "$work/logs/$k.log" >&2
    fi
done
if [[ ${#failed[@]} -gt 0 ]]; then
    echo "slurm-identify: ${#failed[@]} of $shards shards failed ($(joined "${failed[@]}"));" \
        "run the same command again to redo only those" >&2
    exit 1
fi
if $enroll; then
    echo "slurm-identify: every shard enrolled into $models"
    exit 0
fi
# The cluster's merge job has run when every shard was done; here the merge runs for a local
# run, and again after a run whose merge saw a shard that was redone later.
if [[ ! -e $out ]] || [[ -n $(find "$work" -maxdepth 1 -name '*.tsv' -newer "$out") ]]; then
    "$merge" || {
        cat "$work/logs/merge.log" >&2
        exit 1
    }
fi
cat "$work/logs/merge.log" >&2 2>/dev/null || true
echo "slurm-identify: $out is complete"

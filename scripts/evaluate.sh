#!/usr/bin/env bash
# Measures the engine on the development protocols built from real corpora: trains a background
# model, enrolls the targets of each protocol, and runs `kestrune evaluate` on every trial list
# (clean, first 2 s, first 1 s, telephone band and mu-law, noise at 10 and 5 dB SNR), printing
# one table per split. The corpora are not part of the repository; name their folder.
#
#   scripts/evaluate.sh CORPUS_DIR                 validation and test trials
#   SPLITS=validation scripts/evaluate.sh ...      validation only (choose constants on these)
#   PROTOCOLS="libri arabic" scripts/evaluate.sh ...   some protocols only
#   WORK=... RUN=... scripts/evaluate.sh ...       where the protocols (WORK, default
#                                                  build/evaluation) and this run's models
#                                                  (WORK/runs/RUN, default "default") go
#   TRAIN_ARGS="--components 256" ENROLL_ARGS="--relevance 4" scripts/evaluate.sh ...
#                                                  options for train-ubm and enroll
#   UBM_ARGS=ubm-fsdd scripts/evaluate.sh ...      train the background model on another list of
#                                                  scripts/protocols.py (default: ubm)
#   UBM=DIR scripts/evaluate.sh ...                use this background model (for example the
#                                                  shipped data/ubm) instead of training one
#   DOC=docs/ACCURACY.md scripts/evaluate.sh ...   also write the tables as a Markdown document
#                                                  (test and validation trials under their own
#                                                  headings, with this run's settings and date)
#
# CORPUS_DIR must hold librispeech-excerpts/, arabic-commands/ and fsdd/ (see
# scripts/protocols.py for what each protocol takes from them).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -ne 1 ]]; then
    sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi
corpus=$1
for name in librispeech-excerpts arabic-commands fsdd; do
    if [[ ! -d $corpus/$name ]]; then
        echo "evaluate.sh: $corpus/$name is missing: the corpora are not in the repository;" \
             "name the folder that holds them" >&2
        exit 2
    fi
done

build=${BUILD_DIR:-build}
work=${WORK:-$build/evaluation}
run=$work/runs/${RUN:-default}
splits=(${SPLITS:-validation test})
protocols=(${PROTOCOLS:-libri librilong libri10 arabic fsdd})
conditions=(clean 2s 1s telephone noise10 noise5)
# The digit protocol also has trials of one spoken digit each (about half a second).
conditions_of() { [[ $1 == fsdd ]] && echo "${conditions[*]} digit" || echo "${conditions[*]}"; }
jobs=${JOBS:-2}
tool=$build/bin/kestrune
read -r -a train_args <<<"${TRAIN_ARGS:-}"
read -r -a enroll_args <<<"${ENROLL_ARGS:-}"

# Built every time (a no-op when up to date), so that a tool older than the engine library it
# loads never writes the models the library then refuses.
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$jobs" --target kestrune_tool kestrune_engine >/dev/null

python3 scripts/protocols.py "$corpus" "$work"
mkdir -p "$run"
started=$SECONDS
trained=0  # 1 once this run trains or enrolls anything

if [[ -n ${UBM:-} ]]; then
    ubm=$UBM
else
    ubm=$run/ubm
    if [[ ! -f $ubm/ubm.krn ]]; then
        mapfile -t ubm_files <"$work/lists/${UBM_ARGS:-ubm}.args"
        echo "evaluate.sh: training the background model (log: $run/train-ubm.log)"
        trained=1
        "$tool" train-ubm --out "$ubm" "${train_args[@]}" "${ubm_files[@]}" \
            >"$run/train-ubm.log" 2>&1 || { cat "$run/train-ubm.log"; exit 1; }
    fi
fi

# Enrolls the targets of one protocol, $jobs at a time.
enroll_protocol() {
    local protocol=$1 models=$run/models-$1
    [[ -f $models/.complete ]] && return 0
    rm -rf "$models"
    mkdir -p "$models"
    echo "evaluate.sh: enrolling the $protocol targets (logs: $models/*.log)"
    trained=1
    (cd "$work/lists" && cat "enroll-$protocol.tsv") | while IFS= read -r line; do
        printf '%s\0' "$line"
    done | xargs -0 -P "$jobs" -I{} bash -c '
        IFS=$'"'"'\t'"'"' read -r -a fields <<<"$1"
        name=${fields[0]}
        files=()
        for f in "${fields[@]:1}"; do files+=("$2/$f"); done
        "$3" enroll --ubm "$4" --models "$5" --name "$name" "${@:6}" "${files[@]}" \
            >"$5/$name.log" 2>&1 || { cat "$5/$name.log"; exit 1; }
    ' _ {} "$work/lists" "$tool" "$ubm" "$models" "${enroll_args[@]}"
    touch "$models/.complete"
}

# The ten long-enrolled libri targets alone, copied from libri's models: every target loaded
# was enrolled alike, as in most deployments, which the rates of librilong (the same trials
# against all 90 targets, most enrolled from one short utterance) cannot show.
copy_libri10() {
    local models=$run/models-libri10 name
    [[ -f $models/.complete ]] && return 0
    enroll_protocol libri
    rm -rf "$models"
    mkdir -p "$models"
    cut -f2 "$work/lists/librilong-validation-clean.tsv" | grep -vx -- - | sort -u |
        while IFS= read -r name; do
            [[ $name != */* && -d $run/models-libri/$name ]] || {
                echo "evaluate.sh: $name is not a libri target" >&2
                exit 1
            }
            cp -r "$run/models-libri/$name" "$models/$name"
        done
    touch "$models/.complete"
}

# The models a protocol's trials are scored against, and its trial lists: librilong uses
# libri's models, libri10 librilong's lists.
models_of() { [[ $1 == librilong ]] && echo libri || echo "$1"; }
lists_of() { [[ $1 == libri10 ]] && echo librilong || echo "$1"; }

for protocol in "${protocols[@]}"; do
    if [[ $protocol == libri10 ]]; then
        copy_libri10
    else
        enroll_protocol "$(models_of "$protocol")"
    fi
done
echo "evaluate.sh: background model and enrollment took $((SECONDS - started)) s" >&2

# One evaluation: prints its measures as name=value pairs on one line.
measure() {
    "$tool" evaluate --ubm "$ubm" --models "$run/models-$(models_of "$1")" --threads "$jobs" --tsv \
        --scores "$run/scores-$1-$2-$3.tsv" "$work/lists/$(lists_of "$1")-$2-$3.tsv" \
        2>"$run/evaluate.log" |
        awk -F'\t' '{printf "%s=%s ", $1, $2} END {print ""}'
}

value() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

# Markdown: each split's table under its own heading, so that the figures that were tuned on
# can never pass for those that were not.
heading() {
    case $1 in
        test) echo "## Test trials (no constant was chosen on these)" ;;
        validation) echo "## Validation trials (every constant was chosen on these)" ;;
        *) echo "## $1 trials" ;;
    esac
}

split_table() {
    local split=$1 protocol condition m
    printf '| Protocol | Condition | Trials | Top-1 | by FRR | by FAR | EER | Open-set EER |'
    printf ' Imp. FAR≤1/5/10 %% | Gen. FRR≤1/5/10 %% | s |\n'
    printf '|---|---|---|---|---|---|---|---|---|---|---|\n'
    for protocol in "${protocols[@]}"; do
        for condition in $(conditions_of "$protocol"); do
            m=$(measure "$protocol" "$split" "$condition")
            printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s/%s/%s | %s/%s/%s | %s |\n' \
                "$protocol" "$condition" "$(value trials "$m")" "$(value top1_score "$m")" \
                "$(value top1_frr "$m")" "$(value top1_far "$m")" "$(value eer "$m")" \
                "$(value open_set_eer "$m")" \
                "$(value impostors_at_far_1 "$m")" "$(value impostors_at_far_5 "$m")" \
                "$(value impostors_at_far_10 "$m")" "$(value genuine_at_frr_1 "$m")" \
                "$(value genuine_at_frr_5 "$m")" "$(value genuine_at_frr_10 "$m")" \
                "$(value seconds "$m")"
        done
    done
}

settings() {
    local revision
    revision=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
    git diff --quiet HEAD 2>/dev/null || revision="$revision with uncommitted changes"
    echo "Written by \`scripts/evaluate.sh\` on $(date -u +%Y-%m-%d) from revision $revision."
    echo
    echo "| Setting | Value |"
    echo "|---|---|"
    if [[ -n ${UBM:-} ]]; then
        echo "| Background model | \`$(basename "$UBM")\` given with \`UBM=\` (not trained by this run) |"
    else
        echo "| Background model | \`kestrune train-ubm\` with ${TRAIN_ARGS:-its defaults} on the list \`${UBM_ARGS:-ubm}.args\` of scripts/protocols.py |"
    fi
    echo "| Enrollment | \`kestrune enroll\` with ${ENROLL_ARGS:-its defaults} |"
    echo "| Protocols | ${protocols[*]} |"
    if ((trained)); then
        echo "| Background model and enrollment | ${prepared_seconds} s |"
    else
        echo "| Background model and enrollment | reused from an earlier run of the same settings |"
    fi
    echo
    echo "Columns: top-1 identification in percent, ranked by score, by FRR and by FAR; EER over"
    echo "every comparison; open-set EER of each trial's best score, enrolled against never-enrolled"
    echo "speakers; the share of impostor comparisons reported at FAR ≤ 1, 5 and 10 % and of genuine"
    echo "comparisons reported at FRR ≤ 1, 5 and 10 % (honest rates give 1, 5 and 10); the seconds"
    echo "\`kestrune evaluate\` took on the list. The protocols are described in"
    echo "\`scripts/protocols.py\`."
}

# The rates' honesty at the nominal 5 % by condition, averaged over the protocols of a split's
# table (as split_table prints it), so that a change to the rates shows in one line per
# condition.
honesty_by_condition() {
    echo "Averaged over the protocols: the share of impostor comparisons reported at FAR ≤ 5 % and"
    echo "of genuine comparisons reported at FRR ≤ 5 % (honest rates give 5)."
    echo
    echo "| Condition | Imp. FAR≤5 % | Gen. FRR≤5 % |"
    echo "|---|---|---|"
    awk -F'|' 'NR > 2 {
        condition = $3; gsub(/ /, "", condition)
        split($10, imp, "/"); split($11, gen, "/")
        if (!(condition in n)) order[++conditions] = condition
        n[condition]++; far[condition] += imp[2]; frr[condition] += gen[2]
    } END {
        for (i = 1; i <= conditions; i++) {
            c = order[i]
            printf "| %s | %.1f | %.1f |\n", c, far[c] / n[c], frr[c] / n[c]
        }
    }'
}

# One line for a whole split's table: top-1 and the open-set EER averaged over its lists, and
# how far the reported rates lie from honest ones, so that a change shows in one figure each.
split_summary() {
    awk -F'|' 'function num(x) { gsub(/ /, "", x); return x }
    # Adds the distances of a "1/5/10" cell from 1, 5 and 10 to off[kind], counted in n[kind].
    function add(cell, kind,    parts, i, d) {
        split(num(cell), parts, "/")
        for (i = 1; i <= 3; i++) {
            if (parts[i] == "-" || parts[i] == "") continue
            d = parts[i] - nominal[i]
            off[kind] += d < 0 ? -d : d
            n[kind]++
        }
    }
    BEGIN { nominal[1] = 1; nominal[2] = 5; nominal[3] = 10 }
    NR > 2 {
        lists++; top1 += num($5)
        if (num($9) != "-") { open++; eer += num($9) }
        add($10, "impostor"); add($11, "genuine")
    } END {
        printf "Over the %d lists: top-1 %.2f %% on average;", lists, top1 / lists
        if (open) printf " open-set EER %.2f %% on average over the %d lists with never-enrolled speakers;", eer / open, open
        printf " the shares of impostor and of genuine comparisons reported at FAR or FRR <= 1, 5 and 10 %%"
        printf " lie on average %.2f and %.2f points from 1, 5 and 10 (where honest rates put them).\n",
            n["impostor"] ? off["impostor"] / n["impostor"] : 0, n["genuine"] ? off["genuine"] / n["genuine"] : 0
    }'
}

prepared_seconds=$((SECONDS - started))
document=$(mktemp)
trap 'rm -f "$document"' EXIT
{
    echo "# Accuracy on the development protocols"
    echo
    settings
    for split in "${splits[@]}"; do
        echo
        heading "$split"
        echo
        table=$(split_table "$split")
        echo "$table"
        echo
        honesty_by_condition <<<"$table"
        echo
        split_summary <<<"$table"
    done
} | tee "$document"
if [[ -n ${DOC:-} ]]; then
    cp "$document" "$DOC"
    echo "evaluate.sh: wrote $DOC"
fi
echo "evaluate.sh: done in $((SECONDS - started)) s; scores of every comparison in $run"

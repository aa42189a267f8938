#!/usr/bin/env bash
# The main job, end to end on a fresh machine: installs what is missing, builds, trains a
# background model and enrolls six real speakers from the repository's recordings
# (data/fsdd), then identifies held-out recordings (16-bit PCM, A-law and mu-law WAVE files)
# through the Java command-line tool, printing each ranking and the top-1 accuracy.
#
#   scripts/demo.sh                    everything
#   BUILD_DIR=... scripts/demo.sh      another build directory (default: build)
#   TRIALS=... scripts/demo.sh         trials per speaker, each five digits joined (default: 6)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
jobs=${JOBS:-2}
trials=${TRIALS:-6}
corpus=data/fsdd/recordings
work=$build/demo
speakers=(george jackson lucas nicolas theo yweweler)

section() { printf '\n=== %s ===\n' "$*"; }

# Runs a command with its output in a log file; shows the lines matching a pattern, or the
# whole log when the command fails.
quietly() {
    local log=$1 pattern=$2
    shift 2
    if ! "$@" >"$log" 2>&1; then
        cat "$log"
        echo "failed: $*" >&2
        exit 1
    fi
    grep -E "$pattern" "$log" || true
}

section "Dependencies"
scripts/install-deps.sh

section "Build ($build)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs" --target kestrune_tool kestrune_engine jkestrune jkestrune_jar

rm -rf "$work"
mkdir -p "$work/trials"
echo "work directory: $work"

# Files of one speaker: every digit of every index in the range.
recordings() {
    local speaker=$1 first=$2 last=$3 index digit
    for ((index = first; index <= last; index++)); do
        for digit in 0 1 2 3 4 5 6 7 8 9; do
            printf '%s\n' "$corpus/${digit}_${speaker}_${index}.wav"
        done
    done
}

section "Background model from indices 5-14 of all six speakers"
train=(--out "$work/ubm")
for speaker in "${speakers[@]}"; do
    mapfile -t files < <(recordings "$speaker" 5 14)
    train+=(--speaker "$speaker" "${files[@]}")
done
quietly "$work/train-ubm.log" 'training on|components, EM pass 1/|wrote' \
    "$build/bin/kestrune" train-ubm "${train[@]}"

section "Enrollment from indices 15-39"
for speaker in "${speakers[@]}"; do
    mapfile -t files < <(recordings "$speaker" 15 39)
    quietly "$work/enroll-$speaker.log" 'adapting|wrote' \
        "$build/bin/kestrune" enroll --ubm "$work/ubm" --models "$work/models" --name "$speaker" \
        "${files[@]}"
done

section "Held-out trials from indices 40-49: five digits joined, about 2 s each"
# Trial n of a speaker joins five consecutive recordings; the encoding rotates through 16-bit
# PCM, A-law and mu-law.
encodings=(signed-integer a-law u-law)
names=(pcm alaw mulaw)
for speaker in "${speakers[@]}"; do
    mapfile -t files < <(recordings "$speaker" 40 49)
    for ((n = 0; n < trials && 5 * n + 5 <= ${#files[@]}; n++)); do
        k=$((n % 3))
        out=$(printf '%s/trials/%s-%02d-%s.wav' "$work" "$speaker" "$n" "${names[$k]}")
        if [[ ${names[$k]} == pcm ]]; then
            sox "${files[@]:5*n:5}" -e signed-integer -b 16 "$out"
        else
            sox "${files[@]:5*n:5}" -e "${encodings[$k]}" -b 8 "$out"
        fi
    done
done
for name in "${names[@]}"; do
    count=$(find "$work/trials" -name "*-$name.wav" | wc -l)
    echo "$count trials as $name"
done

# The jar loads the native pair it carries: no -Djava.library.path needed.
java=(java -jar "$build/java/jkestrune.jar" --ubm "$work/ubm" --models "$work/models")
trial_files=("$work"/trials/*.wav)

section "Rankings"
"${java[@]}" "${trial_files[@]}"

section "Top-1 accuracy"
"${java[@]}" --tsv "${trial_files[@]}" > "$work/rankings.tsv"
awk -F'\t' '
    $2 == 1 {
        n = split($1, path, "/"); file = path[n]
        split(file, part, "-"); truth = part[1]; coding = part[3]; sub(/\.wav$/, "", coding)
        total++; byCoding[coding]++
        if ($3 == truth) { correct++; right[coding]++ } else { printf "missed: %s -> %s\n", file, $3 }
    }
    END {
        for (c in byCoding) printf "%-6s %d/%d\n", c, right[c], byCoding[c]
        printf "top-1 accuracy: %d/%d = %.1f %%\n", correct, total, 100 * correct / total
    }' "$work/rankings.tsv"

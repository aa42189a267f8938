#!/usr/bin/env bash
# Re-creates the default background model shipped in data/ubm/ from the corpora it was trained
# on: every speaker of librispeech-excerpts/train-clean (251 speakers of read English, both
# sexes) and of arabic-commands (30 speakers), each labelled with its speaker. The corpora are
# not part of the repository; name their folder.
#
#   scripts/train-default-ubm.sh CORPUS_DIR            writes data/ubm/ubm.krn
#   OUT=DIR scripts/train-default-ubm.sh CORPUS_DIR    writes DIR/ubm.krn instead
#
# The librispeech test-other speakers and the fsdd recordings are left out, so that the
# development protocols' long-enrollment targets and the demo's speakers stay unseen by it.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -ne 1 ]]; then
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi
corpus=$1
for name in librispeech-excerpts/train-clean arabic-commands/speech; do
    if [[ ! -d $corpus/$name ]]; then
        echo "train-default-ubm.sh: $corpus/$name is missing: the corpora are not in the" \
             "repository; name the folder that holds them" >&2
        exit 2
    fi
done

build=${BUILD_DIR:-build}
out=${OUT:-data/ubm}
if [[ ! -x $build/bin/kestrune ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j"${JOBS:-2}" --target kestrune_tool
fi

args=(--out "$out")
for file in "$corpus"/librispeech-excerpts/train-clean/*.wav; do
    speaker=$(basename "$file" | cut -d- -f1)
    args+=(--speaker "libri-$speaker" "$file")
done
for folder in "$corpus"/arabic-commands/speech/*/; do
    speaker=$(basename "$folder")
    args+=(--speaker "arabic-$speaker" "$folder"*.wav)
done
echo "train-default-ubm.sh: training on $(( (${#args[@]} - 2) / 3 )) labelled files or more"
"$build/bin/kestrune" train-ubm "${args[@]}"

#!/usr/bin/env bash
# Prepares what RealEngineTest needs, from the repository's recordings, as scripts/demo.sh does
# on a smaller scale: a background model (16 components, indices 5-9 of three speakers), the
# three speakers enrolled (indices 15-24), held-out trials (five digits of index 40 joined, in
# 16-bit PCM, A-law and mu-law) and a trial too short to score. Then the jars the test runs:
# one carrying the trained model as its default, one without, and one carrying a stand-in
# Windows pair.
#
#   prepare-real-engine.sh KESTRUNE_TOOL CMAKE JAR_TOOL BUNDLE_SCRIPT CLASSES_JAR LIB_DIR CORPUS WORK
set -euo pipefail
tool=$1 cmake=$2 jar=$3 bundle=$4 classes=$5 libdir=$6 corpus=$7 work=$8

rm -rf "$work"
mkdir -p "$work/trials" "$work/stand-in-windows"
speakers=(george jackson lucas)

# Every digit of a speaker's indices 5-9 for the background model, 15-24 for enrollment.
train=()
for speaker in "${speakers[@]}"; do
    train+=(--speaker "$speaker" "$corpus"/[0-9]_"${speaker}"_{5..9}.wav)
done
# No companion model: the Java side sees the same seven functions either way, and the fused
# engine is exercised by the engine's own tests; this keeps the test command's time down.
"$tool" train-ubm --out "$work/ubm" --components 16 --companion 0 "${train[@]}" \
    2>"$work/train-ubm.log"

for speaker in "${speakers[@]}"; do
    "$tool" enroll --ubm "$work/ubm" --models "$work/models" --name "$speaker" \
        "$corpus"/[0-9]_"${speaker}"_{15..24}.wav 2>"$work/enroll-$speaker.log"
done

codings=("-e signed-integer -b 16" "-e a-law -b 8" "-e u-law -b 8")
for n in 0 1 2; do
    speaker=${speakers[$n]}
    # shellcheck disable=SC2086  # the coding is a list of options
    sox "$corpus"/{0,1,2,3,4}_"${speaker}"_40.wav ${codings[$n]} "$work/trials/$speaker.wav"
done
sox "$corpus/0_george_41.wav" "$work/short.wav" trim 0 0.05

jar_with() {
    local output=$1
    shift
    "$cmake" -DJAR="$jar" -DCLASSES_JAR="$classes" -DOUTPUT="$work/$output" "$@" -P "$bundle" \
        >/dev/null
}
jar_with with-ubm.jar -DLINUX_DIR="$libdir" -DUBM_DIR="$work/ubm"
jar_with without-ubm.jar -DLINUX_DIR="$libdir"
printf 'bridge' >"$work/stand-in-windows/jkestrune.dll"
printf 'engine' >"$work/stand-in-windows/kestrune.dll"
jar_with windows.jar -DWINDOWS_DIR="$work/stand-in-windows"
echo "prepared $work"

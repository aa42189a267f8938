#!/usr/bin/env bash
# Checks that the engine's layers are enforced by the build: preprocessed with the include root
# of a layer, a header of that layer or of one below it is found, and a header of any layer
# above it is not.
#
#   check_layers.sh COMPILER LAYERS_ROOT EIGEN_INCLUDE LAYER...   (lowest layer first)
set -euo pipefail
compiler=$1 roots=$2 eigen=$3
shift 3
layers=("$@")
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
failures=0
for ((low = 0; low < ${#layers[@]}; ++low)); do
    for ((other = 0; other < ${#layers[@]}; ++other)); do
        layer=${layers[low]} included=${layers[other]}
        header=$(cd "$roots/${layers[-1]}/core/$included" && ls -1 ./*.h | head -n 1)
        printf '#include "core/%s/%s"\n' "$included" "${header#./}" >"$probe/probe.cpp"
        if "$compiler" -std=c++20 -E -I"$roots/$layer" -isystem "$eigen" "$probe/probe.cpp" \
            -o /dev/null 2>"$probe/errors"; then
            found=yes
        elif grep -q 'No such file' "$probe/errors"; then
            found=no
        else
            echo "unexpected failure including core/$included from $layer:"
            cat "$probe/errors"
            failures=$((failures + 1))
            continue
        fi
        expected=$([[ $other -le $low ]] && echo yes || echo no)
        if [[ $found != "$expected" ]]; then
            echo "$layer: core/$included/${header#./} found=$found, expected $expected"
            failures=$((failures + 1))
        fi
    done
done
if [[ $failures -ne 0 ]]; then
    exit 1
fi
echo "layers: ${layers[*]}: each sees itself and the layers below only"

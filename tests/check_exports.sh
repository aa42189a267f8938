#!/usr/bin/env bash
# Checks the dynamic interface of libjkestrune.so: exactly the six JNI methods exported, the
# engine needed by name, and $ORIGIN as RUNPATH (not RPATH, so LD_LIBRARY_PATH still wins).
set -euo pipefail
lib=${1:?usage: check_exports.sh path/to/libjkestrune.so}
status=0

expected=$(printf 'Java_com_mirelta_requests_LoadManager_%s\n' \
    GetTargetQuantity LoadBgModels MaxQntProgramStreams MaxQntTargets \
    VerifyDataWithGetAll VerifyDataWithGetMaxProbability | LC_ALL=C sort)
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | LC_ALL=C sort)
if [[ "$actual" != "$expected" ]]; then
    echo "FAIL: exported symbols differ from the six JNI methods"
    diff <(echo "$expected") <(echo "$actual") || true
    status=1
fi

dynamic=$(readelf -d "$lib")
if ! grep -q 'NEEDED.*\[libkestrune\.so\]' <<<"$dynamic"; then
    echo "FAIL: libkestrune.so is not a DT_NEEDED entry"
    status=1
fi
if ! grep -q 'RUNPATH.*\[\$ORIGIN\]' <<<"$dynamic"; then
    echo "FAIL: RUNPATH is not exactly \$ORIGIN"
    status=1
fi
if grep -q '(RPATH)' <<<"$dynamic"; then
    echo "FAIL: DT_RPATH is set; it would take precedence over LD_LIBRARY_PATH"
    status=1
fi

[[ $status -eq 0 ]] && echo "exports, engine dependency and runpath as expected"
exit $status

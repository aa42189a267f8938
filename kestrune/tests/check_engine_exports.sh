#!/usr/bin/env bash
# Checks the dynamic interface of libkestrune.so: exactly the seven engine functions exported,
# and the SONAME the library links against by name.
set -euo pipefail
lib=${1:?usage: check_engine_exports.sh path/to/libkestrune.so}
status=0

expected=$(printf 'COM_IDENTI_%s\n' \
    CheckedQuantTargetUsers CheckedQuantVerifyStreams DestroyedBuffers \
    GetQntModelsFromSubDirs LoadFromSubDirsToBuffers LoadUBMModels SoundData | LC_ALL=C sort)
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | LC_ALL=C sort)
if [[ "$actual" != "$expected" ]]; then
    echo "FAIL: exported symbols differ from the seven engine functions"
    diff <(echo "$expected") <(echo "$actual") || true
    status=1
fi
if ! readelf -d "$lib" | grep -q 'SONAME.*\[libkestrune\.so\]'; then
    echo "FAIL: SONAME is not libkestrune.so"
    status=1
fi

[[ $status -eq 0 ]] && echo "exports and SONAME as expected"
exit $status

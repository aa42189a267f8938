#!/usr/bin/env bash
# Checks the tables of the two DLLs as a Windows loader and a Java virtual machine see them:
#
#   check_dll_tables.sh OBJDUMP bridge jkestrune.dll kestrune.def
#       exactly the six JNI methods exported; the engine functions listed in kestrune.def
#       imported by name from kestrune.dll, all of them and nothing else
#   check_dll_tables.sh OBJDUMP engine kestrune.dll kestrune.def
#       exactly the engine functions listed in kestrune.def exported
#
# Both: a 64-bit DLL, exports undecorated and not forwarded, and otherwise imports from system
# DLLs only, so that no MinGW runtime DLL has to travel with it.
set -euo pipefail
usage="usage: check_dll_tables.sh OBJDUMP bridge|engine DLL kestrune.def"
objdump=${1:?$usage}
role=${2:?$usage}
dll=${3:?$usage}
def=${4:?$usage}
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

tables=$("$objdump" -p "$dll")

grep -q 'file format pei-x86-64' <<<"$tables" || fail "not a PE32+ x86-64 image"
grep -qE '^[[:space:]]+DLL$' <<<"$tables" || fail "not marked as a DLL"

engine_functions=$(awk '/^EXPORTS/ { on = 1; next } on && NF { print $1 }' "$def" | LC_ALL=C sort)
case "$role" in
    bridge)
        expected_exports=$(printf 'Java_com_mirelta_requests_LoadManager_%s\n' \
            GetTargetQuantity LoadBgModels MaxQntProgramStreams MaxQntTargets \
            VerifyDataWithGetAll VerifyDataWithGetMaxProbability | LC_ALL=C sort)
        expected_engine_imports=$engine_functions
        ;;
    engine)
        expected_exports=$engine_functions
        expected_engine_imports=""
        ;;
    *)
        echo "$usage" >&2
        exit 2
        ;;
esac

exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
               on && /^[[:space:]]*$/ { on = 0 }
               on { print $NF }' <<<"$tables" | LC_ALL=C sort)
if [[ "$exports" != "$expected_exports" ]]; then
    fail "the exported names differ from those expected of the $role DLL"
    diff <(echo "$expected_exports") <(echo "$exports") || true
fi
if grep -q 'Forwarder RVA' <<<"$tables"; then
    fail "an export is forwarded to another DLL"
fi

# One line per imported function: "<dll name in lower case> <function name>".
imports=$(awk '/^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
               dll != "" && /^[[:space:]]*$/ { dll = "" }
               dll != "" && /^[[:space:]]*vma:/ { next }
               dll != "" { print dll, $NF }' <<<"$tables")

engine_imports=$(awk '$1 == "kestrune.dll" { print $2 }' <<<"$imports" | LC_ALL=C sort)
if [[ "$engine_imports" != "$expected_engine_imports" ]]; then
    fail "the functions imported from kestrune.dll differ from those expected"
    diff <(echo "$expected_engine_imports") <(echo "$engine_imports") || true
fi

while read -r name; do
    case "$name" in
        kestrune.dll | kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
        *) fail "imports from $name, which is not a system DLL" ;;
    esac
done < <(awk '{ print $1 }' <<<"$imports" | sort -u)
# At least the C runtime must show: an empty list means the import table was not read at all.
grep -qE '^(msvcrt|ucrtbase)\.dll ' <<<"$imports" || fail "no import from the C runtime was found"

[[ $status -eq 0 ]] && echo "$role DLL: exports, engine imports and system imports as expected"
exit $status

#!/usr/bin/env bash
# Checks the tables of jkestrune.dll as a Windows loader and a Java virtual machine see them:
# a 64-bit DLL; exactly the six JNI methods exported, undecorated and not forwarded; the engine
# functions listed in kestrune.def imported by name from kestrune.dll, all of them and nothing
# else; and otherwise only system DLLs, so that no MinGW runtime DLL has to travel with it.
set -euo pipefail
objdump=${1:?usage: check_dll_tables.sh OBJDUMP jkestrune.dll kestrune.def}
dll=${2:?usage: check_dll_tables.sh OBJDUMP jkestrune.dll kestrune.def}
def=${3:?usage: check_dll_tables.sh OBJDUMP jkestrune.dll kestrune.def}
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

tables=$("$objdump" -p "$dll")

grep -q 'file format pei-x86-64' <<<"$tables" || fail "not a PE32+ x86-64 image"
grep -qE '^[[:space:]]+DLL$' <<<"$tables" || fail "not marked as a DLL"

expected_exports=$(printf 'Java_com_mirelta_requests_LoadManager_%s\n' \
    GetTargetQuantity LoadBgModels MaxQntProgramStreams MaxQntTargets \
    VerifyDataWithGetAll VerifyDataWithGetMaxProbability | LC_ALL=C sort)
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
               on && /^[[:space:]]*$/ { on = 0 }
               on { print $NF }' <<<"$tables" | LC_ALL=C sort)
if [[ "$exports" != "$expected_exports" ]]; then
    fail "the exported names differ from the six JNI methods"
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

expected_engine=$(awk '/^EXPORTS/ { on = 1; next } on && NF { print $1 }' "$def" | LC_ALL=C sort)
engine=$(awk '$1 == "kestrune.dll" { print $2 }' <<<"$imports" | LC_ALL=C sort)
if [[ "$engine" != "$expected_engine" ]]; then
    fail "the functions imported from kestrune.dll differ from kestrune.def"
    diff <(echo "$expected_engine") <(echo "$engine") || true
fi

while read -r name; do
    case "$name" in
        kestrune.dll | kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
        *) fail "imports from $name, which is not a system DLL" ;;
    esac
done < <(awk '{ print $1 }' <<<"$imports" | sort -u)

[[ $status -eq 0 ]] && echo "exports, engine imports and system imports as expected"
exit $status

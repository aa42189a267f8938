#!/usr/bin/env bash
# Checks that the README shows the example program as it is in its source file, which the build
# compiles and RealEngineTest runs: the first ```java block after the line naming the file.
#
#   check-readme-example.sh README.md java/examples/QuickStart.java
set -euo pipefail
readme=$1 source=$2
name=$(basename "$source")
shown=$(awk -v name="$name" '
    index($0, name) && !found { found = 1; next }
    found && /^```java$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside { print }' "$readme")
if [[ -z $shown ]]; then
    echo "$readme shows no \`\`\`java block after a line naming $name" >&2
    exit 1
fi
if ! diff -u <(printf '%s\n' "$shown") "$source"; then
    echo "$readme shows another $name than $source (above: README first)" >&2
    exit 1
fi
echo "$readme shows $source as it is"

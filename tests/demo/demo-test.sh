#!/usr/bin/env bash
# Runs the sample application in the demo's runtime tree and compares its
# output with the expected one, where the tree's root (which depends on where
# the build tree lies) reads <runtime>.
set -euo pipefail
lib_dir=$1 expected=$2 wine=$3
root=$("$wine" winepath -w "$(cd "$lib_dir/../.." && pwd)" | tr -d '\r')
output=$(cd "$lib_dir" && TVCVRTRT_VERBOSE=1 "$wine" ./sample_app.exe </dev/null | tr -d '\r') \
  || { echo "$output"; echo "FAILED: sample_app.exe exited non-zero"; exit 1; }
echo "$output"
diff -u "$expected" <(echo "${output//"$root"/<runtime>}") || { echo "FAILED: output differs"; exit 1; }

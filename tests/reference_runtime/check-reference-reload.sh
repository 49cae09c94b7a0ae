#!/bin/sh
# The library loaded, initialized and unloaded again and again in one process
# (load_unload_bench's child), against the reference runtime, whose
# libraries stay loaded: each initialization line names the six path macros
# once, as at the first load.
#   check-reference-reload.sh <bin dir> <reference runtime root> <emulator>
set -eu
bin=$1 root=$2 emulator=$3
expected='[libbx] Reference runtime initialized; path macros: $MODULEDIR $RUNTIMELIBDIR $VRTROOT $TOOLBOXTOVANDIR $TOOLBOXPREFIX $TOOLBOXDEPLOYDIR'
output=$(VRTROOT="Z:$root" "$emulator" "$bin/load_unload_bench.exe" child "Z:$bin/tvcvrtrt7_17.dll" 3 initialize | tr -d "\r")
lines=$(printf '%s\n' "$output" | grep 'Reference runtime initialized' || true)
# Ten warm-up cycles and three measured ones.
count=$(printf '%s\n' "$lines" | grep -c . || true)
distinct=$(printf '%s\n' "$lines" | sort -u)
if [ "$count" != 13 ] || [ "$distinct" != "$expected" ]; then
  printf 'expected 13 lines, each:\n%s\ngot %s:\n%s\n' "$expected" "$count" "$output" >&2
  exit 1
fi

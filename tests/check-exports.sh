#!/usr/bin/env bash
# Fails unless the DLL exports exactly the names that the module-definition
# file lists (the exported side of "name=internal" aliases, DATA dropped).
# The name is the last field of a table row: binutils 2.44 puts a hint column
# ("+base[   1]  0000") between the index and the name, older ones do not.
set -euo pipefail
objdump=$1; dll=$2; def=$3
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export LC_ALL=C

"$objdump" -p "$dll" \
  | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' \
  | awk '/^[[:space:]]*\[[[:space:]]*[0-9]+\]/ { print $NF }' \
  | sort -u >"$work/exported"
sed -n '/^EXPORTS/,$p' "$def" | sed '1d; s/;.*//' \
  | awk 'NF { print $1 }' | sed 's/=.*//' \
  | sort -u >"$work/listed"

missing=$(comm -13 "$work/exported" "$work/listed")
extra=$(comm -23 "$work/exported" "$work/listed")
echo "$(wc -l <"$work/listed") names listed, $(wc -l <"$work/exported") exported"
[ -z "$missing" ] || { echo "listed but not exported:"; echo "$missing" | sed 's/^/  /'; }
[ -z "$extra" ] || { echo "exported but not listed:"; echo "$extra" | sed 's/^/  /'; }
# An unreadable table and an empty list would agree on nothing at all.
[ -s "$work/exported" ] || echo "no exported names read from the table"
[ -s "$work/exported" ] && [ -s "$work/listed" ] && [ -z "$missing" ] && [ -z "$extra" ]

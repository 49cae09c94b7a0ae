#!/usr/bin/env bash
# Fails unless the DLL exports exactly the names that the module-definition
# file lists (the exported side of "name=internal" aliases, DATA dropped).
set -euo pipefail
objdump=$1; dll=$2; def=$3
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export LC_ALL=C

"$objdump" -p "$dll" \
  | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' \
  | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' \
  | sort -u >"$work/exported"
sed -n '/^EXPORTS/,$p' "$def" | sed '1d; s/;.*//' \
  | awk 'NF { print $1 }' | sed 's/=.*//' \
  | sort -u >"$work/listed"

missing=$(comm -13 "$work/exported" "$work/listed")
extra=$(comm -23 "$work/exported" "$work/listed")
echo "$(wc -l <"$work/listed") names listed, $(wc -l <"$work/exported") exported"
[ -z "$missing" ] || { echo "listed but not exported:"; echo "$missing" | sed 's/^/  /'; }
[ -z "$extra" ] || { echo "exported but not listed:"; echo "$extra" | sed 's/^/  /'; }
[ -z "$missing" ] && [ -z "$extra" ]

#!/bin/sh
# Fails when the DLL imports anything but libraries that ship with Windows:
# the compiler's own runtime (libgcc, libstdc++, winpthread) must be linked in.
set -eu
objdump=$1; dll=$2
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "$dll imports:"; echo "$imports" | sed 's/^/  /'
allowed='^(kernel32|user32|advapi32|ole32|oleaut32|psapi|msvcrt|shell32|api-ms-win-[a-z0-9-]+)\.dll$'
bad=$(echo "$imports" | grep -v -E "$allowed" || true)
if [ -n "$bad" ]; then
  echo "not a system library:"; echo "$bad" | sed 's/^/  /'; exit 1
fi

#!/usr/bin/env bash
# Fails when the DLL imports anything but libraries that ship with Windows:
# the compiler's own runtime (libgcc, libstdc++, winpthread) must be linked in.
# An import list without kernel32.dll means objdump read nothing.
set -euo pipefail
objdump=$1 dll=$2
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "$dll imports:"; sed 's/^/  /' <<<"$imports"
grep -qx 'kernel32\.dll' <<<"$imports" || { echo "FAILED: no import of kernel32.dll found"; exit 1; }
allowed='^(kernel32|user32|advapi32|ole32|oleaut32|psapi|msvcrt|shell32|api-ms-win-[a-z0-9-]+)\.dll$'
bad=$(grep -v -E "$allowed" <<<"$imports" || true)
if [ -n "$bad" ]; then
  echo "not a system library:"; echo "$bad" | sed 's/^/  /'; exit 1
fi

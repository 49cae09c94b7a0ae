#!/bin/sh
# Brings the tests' wine prefix up (persistent server, booted prefix) or down.
# Every wine process of a test run then joins one server instead of starting
# its own, and no stray wine service keeps the test runner's pipes open. A
# prefix that cannot run a program reading the registry fails here, once,
# instead of as every test that needs it.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the prefix under the build tree}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
broken() { echo "FAILED: the wine prefix $WINEPREFIX is unusable: $*; remove it to have it made again" >&2; exit 1; }
case "${1:-}" in
  up)
    mkdir -p "$WINEPREFIX" || broken "cannot make its directory"
    wineserver -p </dev/null >/dev/null 2>&1  # fails when one runs already
    wine wineboot -i </dev/null >/dev/null 2>&1 || broken "wineboot fails"
    wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentVersion </dev/null 2>&1 \
      | grep -q 'CurrentVersion *REG_SZ' || broken "its registry cannot be read"
    exit 0 ;;
  down)
    wineserver -k </dev/null >/dev/null 2>&1
    exit 0 ;;
  *)
    echo "usage: $0 up|down" >&2; exit 2 ;;
esac

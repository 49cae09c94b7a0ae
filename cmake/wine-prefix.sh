#!/bin/sh
# Brings the tests' wine prefix up (persistent server, booted prefix) or down.
# Every wine process of a test run then joins one server instead of starting
# its own, and no stray wine service keeps the test runner's pipes open.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the prefix under the build tree}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "${1:-}" in
  up)
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot -i </dev/null >/dev/null 2>&1
    exit 0 ;;
  down)
    wineserver -k </dev/null >/dev/null 2>&1
    exit 0 ;;
  *)
    echo "usage: $0 up|down" >&2; exit 2 ;;
esac

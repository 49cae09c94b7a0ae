#!/usr/bin/env bash
# Builds the GUID text fuzzer natively and runs it for RUNS inputs.
#   fuzz/run-fuzz.sh BUILD_DIR RUNS
# Exits non-zero on a finding (crash, sanitizer report, broken invariant); the
# input that caused it is left in BUILD_DIR/findings/.
set -euo pipefail
usage="usage: $0 BUILD_DIR RUNS"
build=${1:?$usage}
runs=${2:?$usage}
here=$(cd "$(dirname "$0")" && pwd)

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2

# New inputs go to the working corpus; the seeds are only read.
mkdir -p "$build/corpus" "$build/findings"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/guid_parser_fuzz" -runs="$runs" -max_len=256 \
  -dict="$here/guid_text.dict" -artifact_prefix="$build/findings/" -print_final_stats=1 \
  "$build/corpus" "$here/seeds"

#!/usr/bin/env bash
# Lays out an installed runtime under the build tree and runs the sample
# application from it under wine:
#   <root>/bin/win64/    tvcvrtrt7_17.dll and sample_app.exe
#   <root>/toolbox/tovan/, <root>/toolbox/compiler/
set -euo pipefail
build=${1:?usage: run-demo.sh BUILD_DIR}
root="$build/demo-runtime"
rm -rf "$root"
mkdir -p "$root/bin/win64" "$root/toolbox/tovan" "$root/toolbox/compiler"
cp "$build/bin/tvcvrtrt7_17.dll" "$build/bin/sample_app.exe" "$root/bin/win64/"

echo "Runtime laid out at $root"
echo "Running sample_app.exe with TVCVRTRT_VERBOSE=1"
echo
cd "$root/bin/win64"
TVCVRTRT_VERBOSE=1 wine ./sample_app.exe </dev/null

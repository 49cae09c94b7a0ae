#!/usr/bin/env bash
# Runs the sample application in the installed runtime tree the build laid
# out under build/demo-runtime/ (the reference runtime's libraries,
# tvcvrtrt7_17.dll, sample_app.exe and the component's type library in
# bin/win64/; toolbox/tovan/ and toolbox/compiler/ beside them).
set -euo pipefail
build=${1:?usage: run-demo.sh BUILD_DIR}
root="$build/demo-runtime"
cd "$root/bin/win64"
echo "Runtime laid out at $root"
echo "Running sample_app.exe with TVCVRTRT_VERBOSE=1"
echo
TVCVRTRT_VERBOSE=1 wine ./sample_app.exe </dev/null

#!/usr/bin/env bash
# A client of the platform's own compiler, against an install of its own:
#   - tvcvrtrt/runtime.h compiles alone for that ABI;
#   - platform_client/platform_client.cpp is compiled with clang for the
#     platform's target and linked by lld-link with the installed
#     tvcvrtrt7_17.lib, without a C runtime (kernel32 from MinGW-w64's import
#     libraries), then run under wine against the demo's runtime tree;
#   - the CMake package gives such a consumer the .lib as its import library.
set -euo pipefail
build=$1 source=$2 cmake=$3 clang=$4 lld_link=$5 llvm_rc=$6 kernel32=$7 wine=$8
scratch=$build/platform-client
prefix=$scratch/prefix
client=$source/tests/package/platform_client
target=(--target=x86_64-pc-windows-msvc)

fail() { echo "FAILED: $*"; exit 1; }
for program in "$clang" "$lld_link" "$llvm_rc"; do
  [ -x "$program" ] || fail "$program: not found (build.sh installs clang, lld and llvm)"
done

rm -rf "$scratch"
mkdir -p "$scratch"
"$cmake" --install "$build" --prefix "$prefix" --component tvcvrtrt7_17 >"$scratch/install.log"

echo "== tvcvrtrt/runtime.h alone, C and C++"
for language in c c++; do
  echo '#include <tvcvrtrt/runtime.h>' \
    | "$clang" "${target[@]}" -x "$language" -fsyntax-only -Wall -Wextra -Werror -I"$prefix/include" - \
    || fail "tvcvrtrt/runtime.h does not compile alone as $language"
done

echo "== tvcvrtrt/diagnostics.h refuses the std::string export to checked-iterator builds"
# The stand-in <string> lets the header be compiled as for each level; a
# build that only includes the header is not refused.
checked_string_build() {  # level program
  "$clang" "${target[@]}" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -D_ITERATOR_DEBUG_LEVEL="$1" \
    -I"$client/checked_string" -I"$prefix/include" -x c++ - <<<"#include <tvcvrtrt/diagnostics.h>
$2" 2>&1
}
calls='int main() { return static_cast<int>(tvcvrtrtGetSentinelLibName().size()); }'
for level in 0 1 2; do
  checked_string_build "$level" 'int main() { return 0; }' >/dev/null || fail "diagnostics.h at level $level"
done
checked_string_build 0 "$calls" >/dev/null || fail "the sentinel call at level 0 is refused"
for level in 1 2; do
  refused=$(checked_string_build "$level" "$calls") && fail "the sentinel call at level $level compiles"
  grep -q '_ITERATOR_DEBUG_LEVEL above 0.*vrt\.dll' <<<"$refused" || { echo "$refused"; fail "the refusal does not say why"; }
done

echo "== build"
"$clang" "${target[@]}" -std=c++17 -O1 -Wall -Wextra -Werror -fno-exceptions -fno-rtti -ffreestanding \
  -I"$prefix/include" -c "$client/platform_client.cpp" -o "$scratch/platform_client.obj"
"$lld_link" /nologo /entry:main /nodefaultlib /subsystem:console /out:"$scratch/platform_client.exe" \
  "$scratch/platform_client.obj" "$prefix/lib/tvcvrtrt7_17.lib" "$kernel32"
cp "$prefix/bin/tvcvrtrt7_17.dll" "$scratch/"

echo "== run against $build/demo-runtime"
output=$(cd "$scratch" && VRTROOT="$build/demo-runtime" "$wine" ./platform_client.exe </dev/null | tr -d '\r') \
  || { echo "$output"; fail "platform_client.exe exited non-zero"; }
echo "$output"
grep -qxF "platform_client: ok" <<<"$output" || fail "platform_client.exe did not finish"

echo "== CMake consumer with that compiler"
# Configured only: the compiler cannot link a test program without the
# platform's C runtime, so its check is skipped.
"$cmake" -S "$client" -B "$scratch/cmake" -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_CXX_COMPILER_TARGET=x86_64-pc-windows-msvc \
  -DCMAKE_CXX_COMPILER_WORKS=ON -DCMAKE_RC_COMPILER="$llvm_rc" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$scratch/cmake.log" 2>&1 \
  || { cat "$scratch/cmake.log"; fail "configure"; }
linked=$(cat "$scratch/cmake/import_library.txt")
[ "$linked" = "$prefix/lib/tvcvrtrt7_17.lib" ] || fail "the imported target links $linked"

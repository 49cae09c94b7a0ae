#!/usr/bin/env bash
# Installs the package into a scratch prefix in the build tree (stripped),
# makes the ZIP with the README's command (./build.sh package) and unpacks it
# elsewhere, then builds client programs against those trees only and runs
# them under wine:
#   - a CMake project (C and C++), copied out of the checkout, that finds the
#     unpacked ZIP with find_package(tvcvrtrt7_17 CONFIG) and builds with the
#     toolchain file the ZIP ships: nothing of the checkout takes part;
#   - the C client compiled with pkg-config's flags from the unpacked ZIP;
#   - the C client linked with the platform import library (tvcvrtrt7_17.lib).
set -euo pipefail
build=$1 source=$2 cmake=$3 objdump=$4 cc=$5 wine=$6
scratch=$build/package-test
prefix=$scratch/prefix
consumer=$source/tests/package/consumer
export LC_ALL=C

fail() { echo "FAILED: $*"; exit 1; }
files_under() { (cd "$1" && find . -type f | sort); }

# Runs a client program under wine from its own directory, where its copy of
# the DLL lies, and expects its "ok" line and the start message where given.
run_client() {
  local program=$1 expected_line=$2 output
  output=$(cd "$(dirname "$program")" && "$wine" "./$(basename "$program")" </dev/null | tr -d '\r') \
    || { echo "$output"; fail "$program exited non-zero"; }
  echo "$output"
  grep -qxF "$expected_line" <<<"$output" || fail "$program did not print \"$expected_line\""
}

rm -rf "$scratch"
mkdir -p "$scratch"
# build/install_manifest.txt lists the user's own install: this test and the
# ZIP install the package's component, which keeps a manifest of its own.
manifest_before=$(cat "$build/install_manifest.txt" 2>/dev/null || echo absent)

echo "== install into $prefix"
"$cmake" --install "$build" --prefix "$prefix" --component tvcvrtrt7_17
[ "$(files_under "$source/include")" = "$(files_under "$prefix/include")" ] \
  || fail "installed headers differ from include/"
# The install ships the DLL and the command without debugging information,
# which the build's DLL keeps; the build type here is not Debug.
debug_sections() { "$objdump" -h "$1" | grep -c ' \.debug_' || true; }
[ "$(debug_sections "$build/bin/tvcvrtrt7_17.dll")" -gt 0 ] || fail "the built DLL has no debugging information"
for installed in bin/tvcvrtrt7_17.dll bin/tvcvrtrt-check.exe; do
  [ "$(debug_sections "$prefix/$installed")" -eq 0 ] || fail "the installed $installed is not stripped"
done

echo "== ZIP, made by the README's command"
# The build tree that the command uses is the checkout's own.
[ "$(cd "$build" && pwd -P)" = "$(cd "$source/build" && pwd -P)" ] \
  || fail "./build.sh package builds $source/build, not $build"
"$source/build.sh" package >"$scratch/package.log" 2>&1 || { cat "$scratch/package.log"; fail "./build.sh package"; }
last=$(tail -n 1 "$scratch/package.log")
echo "$last"
zip=$(sed -n 's/^Package: \(.*\) (\([0-9]*\) KiB)$/\1/p' <<<"$last")
size=$(sed -n 's/^Package: .* (\([0-9]*\) KiB)$/\1/p' <<<"$last")
[ -n "$zip" ] && [ -f "$zip" ] || fail "the last line names no ZIP: $last"
[ "$zip" = "$build/tvcvrtrt7_17-$(sed -n 's/^set(TVCVRTRT_FILE_VERSION \(.*\))$/\1/p' "$source/CMakeLists.txt")-win64.zip" ] \
  || fail "the ZIP is not where the README says: $zip"
[ "$size" = "$(du -k "$zip" | cut -f1)" ] || fail "the printed size $size KiB is not the ZIP's"
mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && "$cmake" -E tar xf "$zip")
unpacked=$(echo "$scratch"/unpacked/*)
[ "$(files_under "$prefix")" = "$(files_under "$unpacked")" ] \
  || fail "the ZIP does not hold what the install holds"
[ "$(cat "$build/install_manifest.txt" 2>/dev/null || echo absent)" = "$manifest_before" ] \
  || fail "build/install_manifest.txt was overwritten"

echo "== CMake client against the unpacked ZIP and its toolchain file"
cp -r "$consumer" "$scratch/cmake-client-source"
"$cmake" -S "$scratch/cmake-client-source" -B "$scratch/cmake-client" \
  -DCMAKE_TOOLCHAIN_FILE="$unpacked/lib/cmake/tvcvrtrt7_17/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$unpacked" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$scratch/cmake-client.log" \
  || { cat "$scratch/cmake-client.log"; fail "configure"; }
"$cmake" --build "$scratch/cmake-client" -j 2 >>"$scratch/cmake-client.log" \
  || { cat "$scratch/cmake-client.log"; fail "build"; }
# The client's include path is the ZIP's and nothing else, and nothing of
# its build names the checkout.
stray=$(grep -oE '(-I|-isystem )[^ "]+' "$scratch/cmake-client/compile_commands.json" \
        | sed 's/^-I//; s/^-isystem //' | sort -u | grep -vxF "$unpacked/include" || true)
[ -z "$stray" ] || fail "include path outside the unpacked ZIP: $stray"
# (The build tree, and so this test's scratch, may lie inside the checkout.)
source_pattern=$(sed 's/[].[\*^$()+?{|]/\\&/g' <<<"$source")
from_checkout=$(grep -rhoaE "$source_pattern/[^\";) ]*" "$scratch/cmake-client" | awk -v build="$build" 'index($0, build) != 1' | sort -u || true)
[ -z "$from_checkout" ] || fail "the client's build uses the checkout: $from_checkout"
[ "$(cat "$scratch/cmake-client/import_library.txt")" = "$unpacked/lib/libtvcvrtrt7_17.dll.a" ] \
  || fail "the imported target does not link the MinGW import library"
run_client "$scratch/cmake-client/consumer_c.exe" "consumer_c: ok"
run_client "$scratch/cmake-client/consumer_cpp.exe" "consumer_cpp: ok"

echo "== pkg-config client against the unpacked ZIP"
zip_pkg_config() { PKG_CONFIG_LIBDIR="$unpacked/lib/pkgconfig" PKG_CONFIG_PATH= pkg-config "$@" tvcvrtrt7_17; }
[ "$(zip_pkg_config --modversion)" = 7.17 ] || fail "pkg-config's version is not the interface version 7.17"
pc_version=$(zip_pkg_config --variable=file_version)
pc_flags=$(zip_pkg_config --cflags --libs)
echo "pkg-config: $pc_version: $pc_flags"

# The C client against the unpacked ZIP, linked with pkg-config's flags and
# with the platform import library (tvcvrtrt7_17.lib), the DLL beside it.
# shellcheck disable=SC2086  # the flags are words
for client in "pkg-config-client $pc_flags" "platform-lib-client -I$unpacked/include $unpacked/lib/tvcvrtrt7_17.lib"; do
  set -- $client
  echo "== C client: $*"
  mkdir "$scratch/$1"
  "$cc" -std=c99 -Wall -Wextra -Werror -DTVCVRTRT_PACKAGE_VERSION="\"$pc_version\"" \
    "$consumer/consumer.c" "${@:2}" -o "$scratch/$1/consumer_c.exe"
  cp "$unpacked/bin/tvcvrtrt7_17.dll" "$scratch/$1/"
  run_client "$scratch/$1/consumer_c.exe" "consumer_c: ok"
done

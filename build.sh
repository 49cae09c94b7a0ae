#!/usr/bin/env bash
# Set-up and entry point on a fresh Debian 12 or 13 machine (as root, or with sudo).
#   ./build.sh demo   install what is missing, build what the demo needs, run it under wine
#   ./build.sh test   install what is missing, build everything, run every test under wine
#   ./build.sh build  install what is missing and build everything
#   ./build.sh package  install what is missing, build what the package holds, make its ZIP
#   ./build.sh platform-tools  install clang, lld and llvm (the tests have them too)
#   ./build.sh fuzz [runs]  build and run the GUID text fuzzer natively
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)
build="$here/build"

# make is only recommended by cmake: named here, so that it is there also
# where apt leaves recommended packages out.
packages=(g++-mingw-w64-x86-64 wine wine64 wine64-tools cmake make googletest pkgconf python3 locales)
# The tests also build a client for the platform's own compiler's ABI
# (clang, lld-link and llvm-rc). The names exist on Debian 12 and 13 alike:
# the versioned ones (libclang-rt-14-dev, -19-dev) do not.
test_packages=(clang lld llvm)
fuzz_packages=(clang libclang-rt-dev)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
}

# configure_and_build [target...]: everything, or only the targets named.
configure_and_build() {
  cmake --preset mingw -DBUILD_TESTING=ON
  cmake --build --preset mingw -j "$(nproc)" ${1:+--target "$@"}
}

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine() { "$here/cmake/wine-prefix.sh" down || true; }

case "${1:-}" in
  build)
    install_missing "${packages[@]}" "${test_packages[@]}"
    configure_and_build ;;
  test)
    install_missing "${packages[@]}" "${test_packages[@]}"
    configure_and_build
    trap stop_wine EXIT
    ctest --preset mingw ;;
  demo)
    # The library, the reference runtime, the sample application and the
    # diagnostic command; no tests, no benchmarks.
    install_missing "${packages[@]}"
    configure_and_build demo
    trap stop_wine EXIT
    "$here/cmake/wine-prefix.sh" up
    "$here/demo/run-demo.sh" "$build" ;;
  package)
    # Only the library, the command and the import libraries, then the ZIP.
    # The ZIP is made from an install of the package's component, not by
    # cpack, whose install step first builds the whole project (tests and
    # benchmarks included). The last line names the ZIP, which the package
    # test reads.
    install_missing "${packages[@]}"
    # A configured build tree is only built: its build reconfigures what has
    # changed, and the package test runs this beside other tests.
    if [ -f "$build/CMakeCache.txt" ]; then
      cmake --build --preset mingw -j "$(nproc)" --target package_contents
    else
      configure_and_build package_contents
    fi
    # The name that the package target's cpack gives it.
    name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
    [ -n "$name" ] || { echo "build/CPackConfig.cmake names no package" >&2; exit 1; }
    stage="$build/package-stage" zip="$build/$name.zip"
    rm -rf "$stage" "$zip"
    cmake --install "$build" --prefix "$stage/$name" --component tvcvrtrt7_17 --strip >/dev/null
    (cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")
    rm -rf "$stage"
    echo "Package: $zip ($(du -k "$zip" | cut -f1) KiB)" ;;
  platform-tools)
    # For a client of the platform's own compiler, which the README builds
    # after the demo: the demo does not install these.
    install_missing "${test_packages[@]}" ;;
  fuzz)
    install_missing "${fuzz_packages[@]}" cmake
    "$here/fuzz/run-fuzz.sh" "$build/fuzz" "${2:-1000000}" ;;
  *)
    echo "usage: $0 demo|test|build|package|platform-tools|fuzz [runs]" >&2; exit 2 ;;
esac

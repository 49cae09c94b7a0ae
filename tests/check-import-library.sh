#!/bin/sh
# Fails when the import library for the platform's linker carries the build
# directory in its internal names: the same sources must give the same file
# wherever they are built.
set -eu
nm=$1; ar=$2; lib=$3; build_dir=$4
# dlltool turns every character of a path that cannot stand in a symbol into "_".
mangled=$(printf '%s' "$build_dir" | sed 's/[^A-Za-z0-9]/_/g')
names=$({ "$nm" "$lib" | sed -n 's/^.* [A-Za-z] //p'; "$ar" t "$lib"; } | grep -E '_head_|_iname|\.o$' | sort -u)
echo "$lib internal names:"; echo "$names" | sed 's/^/  /' | head -4
if echo "$names" | grep -q -F "$mangled"; then
  echo "names carry the build directory $build_dir"; exit 1
fi
echo "$names" | grep -q -x '_head_tvcvrtrt7_17_lib'

#!/bin/sh
# Installs the build into a scratch prefix and builds the application of
# tests/install against it with pkg-config and with find_package; both run.
set -eu
build=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -1 | xargs dirname)
for f in include/vorlex.h include/winapi/windows.h; do
    [ -f "$prefix/$f" ] || { echo "missing $f"; exit 1; }
done

# pkg-config, as a Makefile would.
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c11 "$here/app.c" $(pkg-config --cflags --libs vorlex) -o "$work/app-pc"
LD_LIBRARY_PATH=$libdir "$work/app-pc"

# find_package, as a CMake project would.
cmake -S "$here" -B "$work/app-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/app-build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/app-build/app"
echo "pkg-config and find_package: both built and ran"

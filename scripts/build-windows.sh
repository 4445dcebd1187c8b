#!/usr/bin/env bash
# Cross-builds the Windows programs with Debian's MinGW-w64 (Release):
#   build-win32/trimvane.exe     32-bit
#   build-win64/trimvane64.exe   64-bit
# Each is linked statically and needs nothing beyond Windows itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh" cmake ninja-build g++-mingw-w64-i686-posix \
  g++-mingw-w64-x86-64-posix
for target in i686:win32 x86_64:win64; do
  arch=${target%%:*}
  build="$root/build-${target#*:}"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRIMVANE_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" >/dev/null
  cmake --build "$build" --target trimvane --parallel 2
done
ls -l "$root/build-win32/trimvane.exe" "$root/build-win64/trimvane64.exe"

#!/usr/bin/env bash
# Cross-builds the Windows programs with Debian's MinGW-w64 (Release, hardened;
# the `win32` and `win64` presets):
#   build-win32/trimvane.exe     32-bit
#   build-win64/trimvane64.exe   64-bit
# Each is linked statically and needs nothing beyond Windows itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh" cmake ninja-build g++-mingw-w64-i686-posix \
  g++-mingw-w64-x86-64-posix
cd "$root"
for preset in win32 win64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done
ls -l "$root/build-win32/trimvane.exe" "$root/build-win64/trimvane64.exe"

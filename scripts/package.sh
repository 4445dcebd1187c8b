#!/usr/bin/env bash
# Builds the Debian package (Release, into build-package/) and prints its path.
# Usage: scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-package"

"$root/scripts/install-deps.sh" cmake ninja-build g++ dpkg-dev file >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRIMVANE_TESTS=OFF \
  -DTRIMVANE_SANITIZE=OFF >/dev/null
cmake --build "$build" >/dev/null
rm -f "$build"/trimvane_*.deb
if ! log=$(cd "$build" && cpack -G DEB 2>&1); then
  echo "$log" >&2
  exit 1
fi
ls "$build"/trimvane_*.deb

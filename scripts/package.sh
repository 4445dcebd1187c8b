#!/usr/bin/env bash
# Builds the Debian package (the `package` preset: hardened Release, into
# build-package/) and prints its path. The build is reproducible: unless
# SOURCE_DATE_EPOCH is set, it is the last commit's time, which then is the
# banner's build date and time and the time of every file in the package.
# Usage: scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-package"

"$root/scripts/install-deps.sh" cmake ninja-build g++ dpkg-dev file binutils gzip >&2
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    { echo "package.sh: not a git checkout; set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
cd "$root"
cmake --preset package >/dev/null
# From scratch: the banner takes its date from the compiler's run, which an
# up-to-date object would not repeat.
cmake --build --preset package --clean-first >/dev/null
rm -f "$build"/trimvane_*.deb
if ! log=$(cd "$build" && cpack -G DEB 2>&1); then
  echo "$log" >&2
  exit 1
fi
ls "$build"/trimvane_*.deb

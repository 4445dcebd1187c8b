#!/usr/bin/env bash
# Builds trimvane (Release, into build/) and runs it on one folder.
# Usage: scripts/run.sh <folder>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh" cmake ninja-build g++ libjpeg-turbo-progs
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRIMVANE_TESTS=OFF >/dev/null
cmake --build "$root/build" >/dev/null
exec "$root/build/trimvane" "$@"

#!/usr/bin/env bash
# Builds trimvane (the `release` preset: Release, into build/) and runs it on one folder.
# Usage: scripts/run.sh <folder>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh" cmake ninja-build g++ libjpeg-turbo-progs
(cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release >/dev/null)
exec "$root/build/trimvane" "$@"

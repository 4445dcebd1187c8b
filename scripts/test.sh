#!/usr/bin/env bash
# Builds trimvane and its tests with AddressSanitizer and UndefinedBehaviorSanitizer
# (the `test` preset, into build-test/) and runs every test. Exits non-zero on
# any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh" cmake ninja-build g++ libjpeg-turbo-progs libgtest-dev
cd "$root"
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test

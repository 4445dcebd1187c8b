#!/usr/bin/env bash
# Builds trimvane and its tests with AddressSanitizer and UndefinedBehaviorSanitizer
# (into build-test/) and runs every test. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-test"

"$root/scripts/install-deps.sh" cmake ninja-build g++ libjpeg-turbo-progs libgtest-dev
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTRIMVANE_SANITIZE=ON >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2

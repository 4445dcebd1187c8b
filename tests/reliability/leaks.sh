#!/usr/bin/env bash
# The leak check: builds trimvane without sanitizers (Debug, into
# build-valgrind/) and runs it over a tree of every kind of file under
# valgrind memcheck (no error, no block of any kind left, no descriptor open
# at exit but the standard three) and under strace (descriptors given back
# file by file). See leaks.py.
# Usage: tests/reliability/leaks.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="${VALGRIND_BUILD:-$root/build-valgrind}"
export PYTHONDONTWRITEBYTECODE=1

"$root/scripts/install-deps.sh" cmake ninja-build g++ valgrind strace python3 libjpeg-turbo-progs
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTRIMVANE_SANITIZE=OFF \
  -DTRIMVANE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 trimvane >/dev/null
exec python3 "$here/leaks.py" "$build/trimvane"

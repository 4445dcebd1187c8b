#!/usr/bin/env bash
# The leak check: builds trimvane without sanitizers (the `valgrind` preset:
# Debug, into build-valgrind/ or $VALGRIND_BUILD) and runs it over a tree of every kind of file under
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
cd "$root"
cmake --preset valgrind -B "$build" >/dev/null
if [ "$build" = "$root/build-valgrind" ]; then
  cmake --build --preset valgrind >/dev/null
else
  cmake --build "$build" --target trimvane --parallel 2 >/dev/null
fi
exec python3 "$here/leaks.py" "$build/trimvane"

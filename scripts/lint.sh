#!/usr/bin/env bash
# The style and static checks CI runs: clang-format (--dry-run --Werror) over
# every C++ source, then clang-tidy (.clang-tidy) over every source of src/
# twice, as the Linux build compiles it (the `lint` preset, into build-lint/)
# and as the 64-bit MinGW-w64 build does (`lint-win64`, into
# build-lint-win64/), so that the Windows files are checked too. Only the
# compile databases are made; nothing is built. Exits non-zero on any finding.
# Usage: scripts/lint.sh [--tests]   (--tests: clang-tidy over tests/ too)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
folders=(src)
[ "${1:-}" = --tests ] && folders+=(tests)

# cjpeg (libjpeg-turbo-progs) and Debian's googletest sources are what the
# MinGW test build's configuring asks for.
scripts/install-deps.sh cmake ninja-build g++ clang-format clang-tidy libgtest-dev googletest \
  libjpeg-turbo-progs g++-mingw-w64-x86-64-posix python3

status=0
mapfile -t sources < <(git ls-files '*.cc' '*.h')
echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}" || status=1

# tidy <build> <clang-tidy arguments...>: checks the database's files in the
# folders asked for, two clang-tidy runs at a time.
tidy() {
  local build=$1
  shift
  local files
  files=$(python3 - "$build/compile_commands.json" "$root" "${folders[@]}" <<'PY'
import json, sys
wanted = tuple(sys.argv[2] + "/" + folder + "/" for folder in sys.argv[3:])
for entry in json.load(open(sys.argv[1])):
    if entry["file"].startswith(wanted):
        print(entry["file"])
PY
  )
  echo "clang-tidy ($(basename "$build")): $(wc -l <<<"$files") files"
  xargs -P 2 -n 4 clang-tidy -p "$build" --quiet "$@" <<<"$files" 2> >(grep -v \
    -e '^[0-9]* warnings\? generated\.$' -e '^Suppressed [0-9]* warnings' \
    -e '^Use -header-filter=' -e 'warnings\? treated as errors$' >&2)
}

cmake --preset lint >/dev/null
tidy build-lint || status=1

# Debian's clang knows MinGW-w64 by its --target, but does not find g++'s
# C++ headers in a folder named like 12-posix: they are given as g++ has them.
# The Windows tests need a real jpegtran.exe to be configured at all.
win_tests=(-DTRIMVANE_TESTS=OFF)
if [ "${1:-}" = --tests ]; then
  win_tests=(-DTRIMVANE_TESTS=ON
    -DTRIMVANE_JPEGTRAN_EXE="$(bash scripts/build-jpegtran-windows.sh)/win64/jpegtran.exe")
fi
cmake --preset lint-win64 "${win_tests[@]}" >/dev/null
extra=(--extra-arg-before=--target=x86_64-w64-mingw32)
while read -r dir; do
  extra+=("--extra-arg=-isystem$dir")
done < <(x86_64-w64-mingw32-g++-posix -xc++ -E -v /dev/null 2>&1 |
  sed -n '/#include <...> search starts here:/,/End of search list/p' | grep '/c++')
tidy build-lint-win64 "${extra[@]}" || status=1

[ "$status" -eq 0 ] && echo "lint: clean" || echo "lint: findings above" >&2
exit "$status"

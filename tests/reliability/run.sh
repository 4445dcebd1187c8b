#!/usr/bin/env bash
# The reliability suites: what happens to the pictures when the tool is
# killed, loses power, meets failing calls or a full disk, and on the file
# systems photos are kept on (RELIABILITY.md).
#
# Usage: tests/reliability/run.sh [quick|nightly]
#   quick (the default, what CI runs) or nightly (many more iterations);
#   RELIABILITY_MODE=nightly does the same as the argument.
# Builds the real binary (the `rel` preset: RelWithDebInfo, into build-rel/) and runs each
# suite under a time limit. A suite exits 0 when it passes and 77 when this
# machine lacks what it needs (it says so); anything else is a failure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export RELIABILITY_MODE=${1:-${RELIABILITY_MODE:-quick}}
export PYTHONDONTWRITEBYTECODE=1  # no __pycache__ in the source tree
case "$RELIABILITY_MODE" in
  quick) limit=900 ;;
  nightly) limit=14400 ;;
  *) echo "usage: $0 [quick|nightly]" >&2; exit 2 ;;
esac

"$root/scripts/install-deps.sh" cmake ninja-build g++ gcc libjpeg-turbo-progs python3 strace \
  e2fsprogs mount util-linux coreutils || exit 1
(cd "$root" && cmake --preset rel >/dev/null &&
  cmake --build --preset rel --target trimvane camera_files >/dev/null) || exit 1
export TRIMVANE="$root/build-rel/trimvane"
export CAMERA_FILES="$root/build-rel/tests/kit/camera_files"  # the suites' camera files

passed=0 failed=0 skipped=0 failures=()
# suite NAME COMMAND...: runs one suite under the time limit and counts it.
suite() {
  local name=$1 start=$SECONDS status verdict
  shift
  echo "== $name ($RELIABILITY_MODE)"
  timeout -s INT -k 60 "$limit" "$@"
  status=$?
  case $status in
    0) passed=$((passed + 1)) verdict=passed ;;
    77) skipped=$((skipped + 1)) verdict=skipped ;;
    *) failed=$((failed + 1)) verdict=FAILED; failures+=("$name (status $status)") ;;
  esac
  echo "== $name: $verdict in $((SECONDS - start)) s"
}

suite kill python3 "$here/kill.py"
suite power-cut python3 "$here/power_cut.py"
suite faults python3 "$here/faults.py"
suite full-disk python3 "$here/full_disk.py"
# exFAT, NTFS and FAT32 through FUSE, xfs and btrfs (RELIABILITY.md, section 9).
suite media python3 "$here/media.py"
suite hostile python3 "$here/hostile.py" "$TRIMVANE"
# Root runs the tool while another user swaps links under its names
# (RELIABILITY.md, section 8): 200 runs in quick, 1000 in nightly.
suite adversary python3 "$here/adversary.py"
suite leaks bash "$here/leaks.sh"
[ "$RELIABILITY_MODE" = nightly ] && fuzz_seconds=1200 || fuzz_seconds=60
suite fuzz bash "$root/tests/fuzz/run.sh" "$fuzz_seconds"

[ ${#failures[@]} -eq 0 ] || echo "reliability failures: ${failures[*]}"
echo "reliability: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]

# shellcheck shell=bash
# Shared by the benchmark scripts: tools, the binary, scratch places and timing.
# Sourced, not run.

bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(cd "$bench_dir/.." && pwd)

say() { printf '%s\n' "$*" >&2; }
die() { say "$(basename "$0"): $*"; exit 1; }

# Installs what the benchmarks run (as root, or through sudo) when missing.
need_tools() {
  "$repo_dir/scripts/install-deps.sh" cmake ninja-build g++ libjpeg-turbo-progs python3 time "$@"
}

# Sets TRIMVANE to the binary to measure: $TRIMVANE if given, else a Release
# build in build-bench/ (the `bench` preset; made or brought up to date here).
build_tool() {
  if [ -n "${TRIMVANE:-}" ]; then
    [ -x "$TRIMVANE" ] || die "TRIMVANE=$TRIMVANE is not an executable"
    return
  fi
  (cd "$repo_dir" && cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null)
  TRIMVANE="$repo_dir/build-bench/trimvane"
}

# Builds the test kit's camera-file maker, which make_tree.py runs, into
# build-bench/ and sets CAMERA_FILES.
build_camera_files() {
  (cd "$repo_dir" && cmake --preset bench >/dev/null &&
    cmake --build --preset bench --target camera_files >/dev/null)
  export CAMERA_FILES="$repo_dir/build-bench/tests/kit/camera_files"
}

# Scratch places, removed on exit: TMPFS_DIR on a tmpfs mounted for the run
# (as root; /dev/shm otherwise) and DISK_DIR below $BENCH_DISK (/var/tmp).
tmpfs_mounted=""
cleanup_places() {
  if [ -n "$tmpfs_mounted" ]; then
    umount "$tmpfs_mounted" && rmdir "$tmpfs_mounted"
  elif [ -n "${TMPFS_DIR:-}" ]; then
    rm -rf "$TMPFS_DIR"
  fi
  [ -n "${DISK_DIR:-}" ] && rm -rf "$DISK_DIR"
  return 0
}

make_places() {  # $1: tmpfs size in MiB
  trap cleanup_places EXIT
  trap 'exit 130' INT TERM
  DISK_DIR=$(mktemp -d "${BENCH_DISK:-/var/tmp}/trimvane-bench.XXXXXX")
  local mount_point
  mount_point=$(mktemp -d /tmp/trimvane-bench-tmpfs.XXXXXX)
  if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o "size=${1}m" trimvane-bench "$mount_point" 2>/dev/null; then
    tmpfs_mounted=$mount_point
    TMPFS_DIR=$mount_point
  else
    rmdir "$mount_point"
    TMPFS_DIR=$(mktemp -d /dev/shm/trimvane-bench.XXXXXX)
  fi
}

place_dir() {  # tmpfs|disk
  case $1 in
    tmpfs) printf '%s\n' "$TMPFS_DIR" ;;
    disk) printf '%s\n' "$DISK_DIR" ;;
    *) die "unknown place $1 (tmpfs or disk)" ;;
  esac
}

describe_place() {  # dir
  printf '%s (%s)' "$(findmnt -no FSTYPE --target "$1")" "$(findmnt -no SOURCE --target "$1")"
}

# A fresh copy of a tree, its data on the device before anything is timed, so
# that one run's writing is never charged to the next.
fresh_copy() {  # src dst
  rm -rf "$2"
  cp -a "$1" "$2"
  sync -f "$2"
}

# measure LOG command...: runs the command with its standard output in LOG
# and sets WALL (seconds, from the shell's clock), CPU (user + system seconds)
# and RSS (peak resident KiB), the last two from /usr/bin/time, which counts
# the process and the children it waited for.
# shellcheck disable=SC2034  # WALL, CPU and RSS are for the caller
measure() {
  local log=$1 start end
  shift
  start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S %M' -o "$log.time" "$@" >"$log"
  end=$EPOCHREALTIME
  WALL=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  read -r CPU RSS < <(awk '{ printf "%.2f %s\n", $1 + $2, $3 }' "$log.time")
}

add() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }

median() {
  printf '%s\n' "$@" | sort -g |
    awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else printf "%.3f\n", (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}

# stats WALL_ARRAY CPU_ARRAY: sets MED and BEST (median and least wall time)
# and CPU_MED. On a shared machine the least is the run others disturbed least.
# shellcheck disable=SC2034
stats() {
  local -n __walls=$1 __cpus=$2
  MED=$(median "${__walls[@]}")
  BEST=$(printf '%s\n' "${__walls[@]}" | sort -g | head -1)
  CPU_MED=$(awk -v c="$(median "${__cpus[@]}")" 'BEGIN { printf "%.2f", c }')
}

# row PLACE PROGRAM WALL_ARRAY CPU_ARRAY: one table row, with the ratios to
# the reference set by set_reference.
set_reference() { stats "$1" "$2"; REF_MED=$MED REF_BEST=$BEST REF_CPU=$CPU_MED; }
row() {
  stats "$3" "$4"
  printf '| %s | %s | %s s | %s s | %s s | %s | %s | %s |\n' "$1" "$2" "$MED" "$BEST" "$CPU_MED" \
    "$(ratio "$MED" "$REF_MED")" "$(ratio "$BEST" "$REF_BEST")" "$(ratio "$CPU_MED" "$REF_CPU")"
}
table_head() {  # REFERENCE_NAME
  echo "| place | program | wall, median | wall, best | cpu, median | ÷ $1, median | ÷ $1, best | ÷ $1, cpu |"
  echo "|---|---|---|---|---|---|---|---|"
}

verdict() {  # VALUE LIMIT: "holds" when VALUE <= LIMIT, both awk expressions
  awk "BEGIN { print ($1 <= $2) ? \"holds\" : \"fails\" }"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

# Checks a run's totals line: "<n> files <what>".
expect_total() {  # log n what
  grep -qx "$2 files $3" "$1" || die "expected '$2 files $3' in the output; got: $(tail -3 "$1" | tr '\n' '|')"
}

# Times trimvane on a fresh copy of a tree (in DIR/work), run through the
# wrapper words given after the first four (e.g. eatmydata), and checks its
# totals; leaves WALL, CPU and RSS as measure does.
time_trimvane_on_copy() {  # tree dir n what [wrapper...]
  fresh_copy "$1" "$2/work"
  measure "$2/run.log" "${@:5}" "$TRIMVANE" "$2/work"
  expect_total "$2/run.log" "$3" "$4"
}

machine_line() {
  printf '%s, %s cores, %s MiB RAM, kernel %s; load average %s\n' \
    "$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)" "$(nproc)" \
    "$(awk '/MemTotal/ { print int($2 / 1024) }' /proc/meminfo)" "$(uname -r)" \
    "$(cut -d' ' -f1-3 /proc/loadavg)"
}

#!/usr/bin/env bash
# Times trimvane over a tree of camera files against `cp -a` of the same tree,
# on a tmpfs and on disk, and reports its peak resident memory.
#
# Usage: bench/strip.sh [-n CAMERA_FILES] [-o OTHER_FILES] [-t TURNED_FRACTION]
#                       [-r RUNS] [-p "tmpfs disk"]
# Defaults: 200 camera files, twice as many other files, none turned, 3 runs,
# both places. TRIMVANE=/path/to/binary measures that binary instead of a
# Release build in build-bench/; BENCH_DISK=/dir picks the disk place
# (default /var/tmp).
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

camera=200 others="" turned=0 runs=3 places="tmpfs disk"
while [ $# -gt 0 ]; do
  case $1 in
    -n) camera=$2; shift 2 ;;
    -o) others=$2; shift 2 ;;
    -t) turned=$2; shift 2 ;;
    -r) runs=$2; shift 2 ;;
    -p) places=$2; shift 2 ;;
    -h | --help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) die "unknown argument $1 (see --help)" ;;
  esac
done
others=${others:-$((2 * camera))}

need_tools eatmydata
build_tool
build_camera_files
# The tree and a copy (or a worked copy) side by side, at about 3.5 MB a file.
make_places $((camera * 4 * 2 + others / 4 + 256))

first=${places%% *}
source_tree="$(place_dir "$first")/tree"
say "Making the tree: $camera camera files, $others others, $turned turned ..."
python3 "$bench_dir/make_tree.py" "$source_tree" --camera "$camera" --others "$others" \
  --turned "$turned" >&2
largest=$(find "$source_tree" -name 'IMG_*.JPG' -printf '%s\n' | sort -n | tail -1)
tree_bytes=$(du -sb "$source_tree" | cut -f1)
tree_files=$(find "$source_tree" -type f | wc -l)
budget_kib=$(((largest + 4 * 1024 * 1024) / 1024))

rows=() verdicts=()
for place in $places; do
  dir=$(place_dir "$place")
  tree="$dir/tree"
  [ -d "$tree" ] || cp -a "$source_tree" "$tree"
  sync -f "$tree"
  say "== $place: $(describe_place "$dir")"
  cp_wall=() cp_cpu=() cps_wall=() cps_cpu=() tool_wall=() tool_cpu=() nof_wall=() nof_cpu=()
  peak=0
  for run in $(seq "$runs"); do
    rm -rf "$dir/copy"
    sync -f "$dir"
    measure "$dir/cp.log" cp -a "$tree" "$dir/copy"
    cp_wall+=("$WALL") cp_cpu+=("$CPU")
    measure "$dir/sync.log" sync -f "$dir/copy"
    cps_wall+=("$(add "${cp_wall[-1]}" "$WALL")") cps_cpu+=("$(add "${cp_cpu[-1]}" "$CPU")")
    rm -rf "$dir/copy"
    line="run $run: cp -a ${cp_wall[-1]} s (cpu ${cp_cpu[-1]}, with sync ${cps_wall[-1]})"

    time_trimvane_on_copy "$tree" "$dir" "$camera" stripped
    tool_wall+=("$WALL") tool_cpu+=("$CPU")
    [ "$RSS" -gt "$peak" ] && peak=$RSS
    line="$line, trimvane $WALL s (cpu $CPU, peak $RSS KiB)"

    if [ "$place" = disk ] && command -v eatmydata >/dev/null; then
      # The same run with fsync made a no-op: the difference is what
      # durability costs.
      time_trimvane_on_copy "$tree" "$dir" "$camera" stripped eatmydata
      nof_wall+=("$WALL") nof_cpu+=("$CPU")
      line="$line, fsync off $WALL s"
    fi
    rm -rf "$dir/work"
    say "  $line"
  done

  set_reference cp_wall cp_cpu
  rows+=("$(row "$place" "cp -a" cp_wall cp_cpu)")
  rows+=("$(row "$place" "cp -a, then sync" cps_wall cps_cpu)")
  rows+=("$(row "$place" trimvane tool_wall tool_cpu)")
  [ ${#nof_wall[@]} -gt 0 ] && rows+=("$(row "$place" "trimvane, fsync off" nof_wall nof_cpu)")
  stats tool_wall tool_cpu
  if [ "$place" = tmpfs ]; then
    verdicts+=("tmpfs: no slower than cp -a: $(verdict "$MED" "$REF_MED") by the median, \
$(verdict "$BEST" "$REF_BEST") by the best, $(verdict "$CPU_MED" "$REF_CPU") by cpu")
  fi
  if [ "$(verdict "$turned" 0)" = holds ]; then
    verdicts+=("$place: peak RSS $peak KiB within $budget_kib KiB: $(verdict "$peak" "$budget_kib")")
  else
    verdicts+=("$place: peak RSS $peak KiB, jpegtran's included (-t 0 measures trimvane alone)")
  fi
done

echo
echo "Machine: $(machine_line)"
echo "Tree: $tree_files files, $tree_bytes bytes; $camera camera files ($turned turned), largest $largest bytes"
echo "Runs: $runs per place; every trimvane run on a fresh copy; caches warm"
echo "Peak-memory budget: the largest camera file + 4 MiB = $budget_kib KiB"
echo
table_head "cp -a"
printf '%s\n' "${rows[@]}"
echo
printf '%s\n' "${verdicts[@]}"

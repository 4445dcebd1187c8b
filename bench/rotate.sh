#!/usr/bin/env bash
# Times trimvane over a folder of turned camera pictures (Orientation 6, so
# each needs "rotate 90") against jpegtran alone on the same files and against
# `jhead -autorot`, a general-purpose Exif tool used here only as a reference.
#
# Usage: bench/rotate.sh [-n FILES] [-r RUNS] [-p "tmpfs disk"]
# Defaults: 30 files, 3 runs, both places. TRIMVANE=/path/to/binary measures
# that binary instead of a Release build in build-bench/; BENCH_DISK=/dir
# picks the disk place (default /var/tmp).
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

files=30 runs=3 places="tmpfs disk"
while [ $# -gt 0 ]; do
  case $1 in
    -n) files=$2; shift 2 ;;
    -r) runs=$2; shift 2 ;;
    -p) places=$2; shift 2 ;;
    -h | --help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) die "unknown argument $1 (see --help)" ;;
  esac
done

need_tools jhead eatmydata
build_tool
build_camera_files
# The pictures, a worked copy and jpegtran's outputs, at about 3.5 MB a file.
make_places $((files * 4 * 3 + 256))

first=${places%% *}
source_tree="$(place_dir "$first")/pictures"
say "Making $files turned camera files ..."
python3 "$bench_dir/make_tree.py" "$source_tree" --camera "$files" --turned 1 --turn-values 6 \
  --flat >&2
tree_bytes=$(du -sb "$source_tree" | cut -f1)

# jpegtran alone: the same command trimvane runs, once per file, output beside
# the input as trimvane's is.
# shellcheck disable=SC2016
jpegtran_each='for f; do jpegtran -rotate 90 -copy all -outfile "$f.r" "$f" || exit; done'

rows=() verdicts=()
for place in $places; do
  dir=$(place_dir "$place")
  pictures="$dir/pictures"
  [ -d "$pictures" ] || cp -a "$source_tree" "$pictures"
  sync -f "$pictures"
  say "== $place: $(describe_place "$dir")"
  jt_wall=() jt_cpu=() tool_wall=() tool_cpu=() jh_wall=() jh_cpu=() nof_wall=() nof_cpu=()
  for run in $(seq "$runs"); do
    fresh_copy "$pictures" "$dir/work"
    measure "$dir/jpegtran.log" bash -c "$jpegtran_each" _ "$dir"/work/*.JPG
    jt_wall+=("$WALL") jt_cpu+=("$CPU")
    line="run $run: jpegtran $WALL s (cpu $CPU)"

    time_trimvane_on_copy "$pictures" "$dir" "$files" rotated
    tool_wall+=("$WALL") tool_cpu+=("$CPU")
    line="$line, trimvane $WALL s (cpu $CPU)"

    fresh_copy "$pictures" "$dir/work"
    measure "$dir/jhead.log" jhead -autorot "$dir"/work/*.JPG
    [ "$(grep -c '^Modified' "$dir/jhead.log")" -eq "$files" ] ||
      die "jhead did not turn every picture: $(head -3 "$dir/jhead.log" | tr '\n' '|')"
    jh_wall+=("$WALL") jh_cpu+=("$CPU")
    line="$line, jhead $WALL s (cpu $CPU)"

    if [ "$place" = disk ] && command -v eatmydata >/dev/null; then
      time_trimvane_on_copy "$pictures" "$dir" "$files" rotated eatmydata
      nof_wall+=("$WALL") nof_cpu+=("$CPU")
      line="$line, trimvane fsync off $WALL s"
    fi
    rm -rf "$dir/work"
    say "  $line"
  done

  set_reference jt_wall jt_cpu
  rows+=("$(row "$place" "jpegtran alone" jt_wall jt_cpu)")
  rows+=("$(row "$place" trimvane tool_wall tool_cpu)")
  [ ${#nof_wall[@]} -gt 0 ] && rows+=("$(row "$place" "trimvane, fsync off" nof_wall nof_cpu)")
  rows+=("$(row "$place" "jhead -autorot" jh_wall jh_cpu)")
  stats tool_wall tool_cpu
  m_tool=$MED b_tool=$BEST c_tool=$CPU_MED
  stats jh_wall jh_cpu
  verdicts+=("$place: within 10% of jpegtran alone: $(verdict "$m_tool" "1.10 * $REF_MED") by the \
median, $(verdict "$b_tool" "1.10 * $REF_BEST") by the best, $(verdict "$c_tool" "1.10 * $REF_CPU") \
by cpu; faster than jhead: $(verdict "$m_tool" "$MED") by the median, $(verdict "$b_tool" "$BEST") \
by the best")
done

echo
echo "Machine: $(machine_line)"
echo "Pictures: $files turned camera files (3072x2048, Orientation 6), $tree_bytes bytes"
echo "Runs: $runs per place; every run on a fresh copy; caches warm"
echo
table_head "jpegtran alone"
printf '%s\n' "${rows[@]}"
echo
printf '%s\n' "${verdicts[@]}"

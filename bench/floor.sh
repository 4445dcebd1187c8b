#!/usr/bin/env bash
# Measures trimvane against the floor of each of its roads, in one run: the
# plainest commands that do the same work (cp -a, a replacement by hand,
# jpegtran alone, find), each on an identical fresh copy, the two sides taking
# turns at going first from round to round.
#
# Usage: bench/floor.sh [-r ROUNDS] [-n FILES] [-p "tmpfs disk"] [-w ENTRIES] [ROAD...]
# Roads: strip durable rotation walk memory (default: all of them). Defaults:
# 5 rounds, 40 camera files of about 2.3 MB, both places (durable runs on disk
# only), 100,000 entries for the walk. TRIMVANE=/path/to/binary measures that
# binary instead of a Release build in build-bench/; BENCH_DISK=/dir picks the
# disk place (default /var/tmp).
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

all_roads="strip durable rotation walk memory"
rounds=5 files=40 places="tmpfs disk" entries=100000
while getopts r:n:p:w:h option; do
  case $option in
    r) rounds=$OPTARG ;;
    n) files=$OPTARG ;;
    p) places=$OPTARG ;;
    w) entries=$OPTARG ;;
    h) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) die "see --help" ;;
  esac
done
shift $((OPTIND - 1))
roads=${*:-$all_roads}
for road in $roads; do
  [[ " $all_roads " == *" $road "* ]] || die "unknown road $road (roads: $all_roads)"
done
quality=78  # camera files of 2.2 to 2.4 MB
mem_sizes="64 256"  # MiB, beside the unpadded camera file and an empty folder

need_tools findutils
build_tool
build_camera_files
# The largest sources (walk tree, padded files) and their working copies.
make_places $((files * 3 * 5 + 1536))

# --- sources: made once, on the first place a road asks, copied to the others

declare -A made=()
source_tree() {  # kind place: sets SOURCE to that tree on that place
  SOURCE="$(place_dir "$2")/src-$1"
  [ -d "$SOURCE" ] && return
  if [ -n "${made[$1]:-}" ]; then
    cp -a "${made[$1]}" "$SOURCE"
  else
    say "Making the $1 tree ..."
    make_source "$1" "$SOURCE" >&2
    made[$1]=$SOURCE
  fi
  sync -f "$SOURCE"
}

make_source() {  # kind dest
  local tree=(python3 "$bench_dir/make_tree.py") pad=(python3 "$bench_dir/floor_trees.py" pad)
  case $1 in
    camera) "${tree[@]}" "$2" --camera "$files" --others 0 --quality "$quality" ;;
    turned) "${tree[@]}" "$2" --camera "$files" --turned 1 --turn-values 6 --flat --quality "$quality" ;;
    walk) python3 "$bench_dir/floor_trees.py" walk "$2" --entries "$entries" ;;
    memory)
      "${tree[@]}" "$2/base" --camera 1 --flat --quality "$quality"
      mkdir "$2/empty" "$2/base-size"
      for mib in $mem_sizes; do
        mkdir "$2/$mib"
        "${pad[@]}" "$2/base/IMG_0001.JPG" "$2/$mib/IMG_0001.JPG" --bytes $((mib << 20))
      done
      mv "$2/base/IMG_0001.JPG" "$2/base-size/" && rmdir "$2/base"
      ;;
  esac
}

drop_sources() {  # kind: removes that tree from every place
  local place
  for place in $places; do rm -rf "$(place_dir "$place")/src-$1"; done
  unset "made[$1]"
}

# --- rounds and figures

# in_turn ROUND CONTENDER...: runs the contenders (functions), starting one
# further along each round, so that no side always goes first.
in_turn() {
  local n=$(($# - 1)) start=$((($1 - 1) % ($# - 1))) i
  shift
  local contenders=("$@")
  for ((i = 0; i < n; i++)); do "${contenders[(start + i) % n]}"; done
}

spread() {  # ARRAY UNIT DECIMALS: "median UNIT (least–most)"
  local -n __values=$1
  printf "%.${3}f %s (%.${3}f–%.${3}f)" "$(median "${__values[@]}")" "$2" \
    "$(printf '%s\n' "${__values[@]}" | sort -g | head -1)" \
    "$(printf '%s\n' "${__values[@]}" | sort -g | tail -1)"
}

round_ratio() {  # TOOL_ARRAY ANCHOR_ARRAY: the median of the per-round ratios
  local -n __tool=$1 __anchor=$2
  local i ratios=()
  for i in "${!__tool[@]}"; do ratios+=("$(ratio "${__tool[i]}" "${__anchor[i]}")"); done
  printf '%.2f' "$(median "${ratios[@]}")"
}

rows=()
met() {  # VALUE LIMIT
  if [ "$(verdict "$1" "$2")" = holds ]; then echo yes; else echo no; fi
}
time_row() {  # road place anchor-name ANCHOR_ARRAY TOOL_ARRAY [LIMIT]
  local r target="—" met="—"
  r=$(round_ratio "$5" "$4")
  [ -n "${6:-}" ] && target="≤ $6" met=$(met "$r" "$6")
  rows+=("| $1 | $2 | $3 | $(spread "$4" s 3) | $(spread "$5" s 3) | $r | $target | $met |")
}

# --- the roads. Each contender takes a fresh copy of SOURCE into DIR, times
# its command alone, appends the wall time to its array and cleans up.

tool=() anchor=() anchor2=()

tool_over_copy() {  # count what [sync]: trimvane on a fresh copy
  fresh_copy "$SOURCE" "$dir/t"
  [ "${3:-}" = sync ] && sync
  measure "$dir/t.log" "$TRIMVANE" "$dir/t"
  expect_total "$dir/t.log" "$1" "$2"
  tool+=("$WALL")
  rm -rf "$dir/t"
}

strip_tool() { tool_over_copy "$files" stripped; }
strip_cp() {
  fresh_copy "$SOURCE" "$dir/a"
  measure "$dir/a.log" cp -a "$dir/a" "$dir/a.copy"
  anchor+=("$WALL")
  rm -rf "$dir/a" "$dir/a.copy"
}

# Durable: each side starts after a sync of everything, and ends with its data
# on the device; the tool does that itself.
durable_tool() { tool_over_copy "$files" stripped sync; }
durable_hand() {
  fresh_copy "$SOURCE" "$dir/old"
  sync
  # shellcheck disable=SC2016  # expanded by the timed shell
  measure "$dir/h.log" bash -c 'cp -a "$1" "$2" && rm -rf "$1" && sync' _ "$dir/old" "$dir/new"
  anchor+=("$WALL")
  rm -rf "$dir/new"
}

# Rotation: the command trimvane runs on each picture, from xargs, one at a
# time or two at a time, into a scratch folder.
rotation_tool() { tool_over_copy "$files" rotated; }
jpegtran_over() {  # jobs
  fresh_copy "$SOURCE" "$dir/a"
  mkdir "$dir/a.out"
  printf '%s\0' "$dir"/a/*.JPG >"$dir/a.list"
  # shellcheck disable=SC2016  # expanded by sh, once per file
  measure "$dir/j.log" xargs -0 -a "$dir/a.list" -n 1 -P "$1" \
    sh -c 'exec jpegtran -rotate 90 -copy all -outfile "$0/${1##*/}" "$1"' "$dir/a.out"
  [ "$(find "$dir/a.out" -name '*.JPG' -size +0 | wc -l)" -eq "$files" ] ||
    die "jpegtran did not turn every picture"
  rm -rf "$dir/a" "$dir/a.out" "$dir/a.list"
}
rotation_one() { jpegtran_over 1; anchor+=("$WALL"); }
rotation_two() { jpegtran_over 2; anchor2+=("$WALL"); }

# Walk: nothing to do in the tree, so both sides work on the same one.
walk_tool() {
  measure "$dir/w.log" "$TRIMVANE" "$SOURCE"
  expect_total "$dir/w.log" 0 stripped
  tool+=("$WALL")
}
walk_find() {
  measure "$dir/f.log" find "$SOURCE" -iname '*.jpg' -fprint /dev/null
  anchor+=("$WALL")
}

# Memory: peak resident KiB of trimvane over a folder of one camera file of
# each size, against the same over an empty folder.
declare -A rss=()
memory_round() {  # round
  local sizes size count
  read -ra sizes <<<"empty base-size $mem_sizes"
  [ $(($1 % 2)) -eq 0 ] && read -ra sizes <<<"base-size $mem_sizes empty"
  for size in "${sizes[@]}"; do
    fresh_copy "$SOURCE/$size" "$dir/m"
    count=1
    [ "$size" = empty ] && count=0
    measure "$dir/m.log" "$TRIMVANE" "$dir/m"
    expect_total "$dir/m.log" "$count" stripped
    rss[$size]+=" $RSS"
    rm -rf "$dir/m"
  done
}
memory_rows() {  # place
  local size bytes empty=() sized=() grown
  read -ra empty <<<"${rss[empty]}"
  for size in base-size $mem_sizes; do
    bytes=$(find "$SOURCE/$size" -type f -printf '%s')
    read -ra sized <<<"${rss[$size]}"
    grown=$(awk -v t="$(median "${sized[@]}")" -v a="$(median "${empty[@]}")" \
      'BEGIN { printf "%+.1f", (t - a) / 1024 }')
    rows+=("| memory, $(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }') MiB file \
($bytes B) | $1 | trimvane, empty folder | $(spread empty KiB 0) | $(spread sized KiB 0) | \
$grown MiB | ≤ +4 MiB | $(met "$grown" 4) |")
  done
}

run_road() {  # road place
  local round
  tool=() anchor=() anchor2=() rss=()
  say "== $1 on $2: $(describe_place "$dir"); load average $(cut -d' ' -f1-3 /proc/loadavg)"
  for round in $(seq "$rounds"); do
    case $1 in
      strip) in_turn "$round" strip_tool strip_cp ;;
      durable) in_turn "$round" durable_tool durable_hand ;;
      rotation) in_turn "$round" rotation_tool rotation_one rotation_two ;;
      walk) in_turn "$round" walk_tool walk_find ;;
      memory) memory_round "$round" ;;
    esac
    [ "$1" = memory ] || say "  round $round: trimvane ${tool[-1]} s, anchor ${anchor[-1]} s${anchor2[*]:+, two at a time ${anchor2[-1]} s}"
  done
  case $1 in
    strip) time_row strip "$2" "cp -a" anchor tool 1.0 ;;
    durable) time_row "durable strip" "$2" "cp -a, rm -rf, sync" anchor tool 1.0 ;;
    rotation)
      time_row rotation "$2" "jpegtran one after another" anchor tool 0.6
      time_row rotation "$2" "jpegtran two at a time" anchor2 tool ""
      ;;
    walk) time_row "walk, $entries entries" "$2" "find -iname '*.jpg'" anchor tool 1.5 ;;
    memory) memory_rows "$2" ;;
  esac
}

# --- how quiet the machine was: load averages, and the CPU time others used

busy_jiffies() { awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 + $9 }' /proc/stat; }
own_cpu() {  # sets OWN_CPU: seconds of CPU used by this shell and all it waited for
  times >"$TMPFS_DIR/times"  # here: in a subshell it would count the subshell's alone
  OWN_CPU=$(awk '{ for (i = 1; i <= NF; i++) { split($i, p, "m"); s += p[1] * 60 + p[2] } }
               END { printf "%.1f", s }' "$TMPFS_DIR/times")
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
own_cpu
own_before=$OWN_CPU busy_before=$(busy_jiffies) start=$EPOCHREALTIME

for road in $roads; do
  kind=$road
  case $road in strip | durable) kind=camera ;; rotation) kind=turned ;; esac
  for place in $places; do
    [ "$road" = durable ] && [ "$place" != disk ] && continue
    dir=$(place_dir "$place")
    source_tree "$kind" "$place"
    run_road "$road" "$place"
  done
  # The camera tree serves both strip roads; the others go once done with.
  [[ " $roads " == *" durable "* && $road = strip ]] || drop_sources "$kind"
done

wall=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
own_cpu
others=$(awk -v j="$(($(busy_jiffies) - busy_before))" -v hz="$(getconf CLK_TCK)" \
  -v own="$OWN_CPU" -v own0="$own_before" 'BEGIN { o = j / hz - (own - own0); printf "%.1f", o < 0 ? 0 : o }')
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
quiet=$(awk -v l="${load_before%% *}" -v o="$others" -v w="$wall" \
  'BEGIN { print (l < 0.5 && o / w < 0.05) ? "looked quiet" : "was NOT quiet: read the figures as rough" }')

echo
echo "Machine: $(machine_line)"
echo "Binary: $TRIMVANE"
echo "Load average before: $load_before; after: $load_after. Other work used $others s of CPU \
during the $wall s run ($(awk -v o="$others" -v w="$wall" 'BEGIN { printf "%.2f", o / w }') \
cores on average): the machine $quiet."
echo "Rounds: $rounds; $files camera files (about 2.3 MB, Orientation 1 for strip, 6 for rotation);" \
  "each side on a fresh copy synced to its device, the sides taking turns at going first;" \
  "ratio = median of the per-round ratios tool/anchor (memory: tool minus anchor, medians)."
echo
echo "| road | place | anchor | anchor median (spread) | tool median (spread) | ratio | target | met? |"
echo "|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"

#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset: clang,
# -fsanitize=fuzzer,address,undefined) into build-fuzz/ (or $FUZZ_BUILD) and runs each for a bounded time, starting from its seed
# corpus in tests/fuzz/corpus/. Any crash, sanitizer report, leak or timeout
# fails the run; what the fuzzer found is kept in build-fuzz/fuzz-work/.
#
# Usage: tests/fuzz/run.sh [seconds per target]   (default 60, or $FUZZ_SECONDS)
# The longer run: tests/fuzz/run.sh 3600
# Replaying one input: build-fuzz/tests/fuzz/fuzz_<target> <file>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${FUZZ_BUILD:-$root/build-fuzz}"
seconds="${1:-${FUZZ_SECONDS:-60}}"
targets=(preview_cut orientation pipeline)

"$root/scripts/install-deps.sh" cmake ninja-build clang libclang-rt-14-dev
(cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
if [ "$build" = "$root/build-fuzz" ]; then
  (cd "$root" && cmake --build --preset fuzz >/dev/null)
else
  cmake --build "$build" --target "${targets[@]/#/fuzz_}" --parallel 2 >/dev/null
fi

passed=0
failed=0
for target in "${targets[@]}"; do
  work="$build/fuzz-work/$target"
  rm -rf "$work/found"  # the corpus grows from run to run; findings are this run's
  mkdir -p "$work/corpus" "$work/found"
  log="$work/last.log"
  status=0
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=4096 -dict="$root/tests/fuzz/camera.dict" -print_final_stats=1 \
    -artifact_prefix="$work/found/" "$work/corpus" "$root/tests/fuzz/corpus/$target" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  corpus=$(find "$work/corpus" -type f | wc -l)
  found=$(find "$work/found" -type f | wc -l)
  echo "fuzz $target: ${runs:-0} inputs in ${seconds} s (${speed:-0}/s), corpus $corpus, status $status, $found found"
  if [ "$status" -eq 0 ] && [ "$found" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    grep -v '^#' "$log" | tail -40
    ls "$work/found"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# Builds the fuzz targets (build-fuzz/, clang with libFuzzer, ASan and UBSan; GUI and tests off)
# and runs each one on its corpus.
#
#   scripts/fuzz.sh [SECONDS] [--merge] [--jobs N] [--only REGEX] [--seeds]
#
# SECONDS    how long each target runs (default 300)
# --merge    afterwards, merge what the runs found into fuzz/corpus/ (only inputs that add
#            coverage); without it new inputs stay in the work corpus build-fuzz/corpus/
# --jobs N   targets run side by side (default: the number of cores)
# --only RE  run only the targets whose name matches the extended regular expression RE
# --seeds    rewrite the seed corpus fuzz/corpus/ from the real encoders first (tv_fuzz_seeds)
#
# A crash, leak, time-out or broken property keeps its input under fuzz/crashes/<target>/ and
# makes the script exit 1; reproduce it with build-fuzz/fuzz/targets/fuzz_<target> <file>.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=300
merge=0
seeds=0
jobs=$(nproc)
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --merge) merge=1 ;;
    --seeds) seeds=1 ;;
    --jobs) jobs="$2"; shift ;;
    --only) only="$2"; shift ;;
    [0-9]*) seconds="$1" ;;
    *) echo "fuzz.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

build="$root/build-fuzz"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTV_BUILD_GUI=OFF -DTV_BUILD_TESTS=OFF -DTV_BUILD_BENCH=OFF -DTV_BUILD_FUZZ=ON >/dev/null
cmake --build "$build" --target tv_fuzz tv_fuzz_seeds -j "$jobs" >/dev/null

if [ "$seeds" = 1 ]; then
  rm -rf "$root/fuzz/corpus"
  "$build/fuzz/tv_fuzz_seeds" "$root/fuzz/corpus"
fi

# One link per target: the binary picks its target by the name it was started under.
links="$build/fuzz/targets"
mkdir -p "$links"
mapfile -t targets < <(TV_FUZZ_LIST=1 "$build/fuzz/tv_fuzz")
selected=()
for t in "${targets[@]}"; do
  ln -sf ../tv_fuzz "$links/fuzz_$t"
  if [ -z "$only" ] || [[ "$t" =~ $only ]]; then selected+=("$t"); fi
done
[ ${#selected[@]} -gt 0 ] || { echo "fuzz.sh: no target matches '$only'" >&2; exit 2; }

logs="$build/logs"
mkdir -p "$logs"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

run_target() {
  local t="$1"
  local work="$build/corpus/$t" seed="$root/fuzz/corpus/$t" crashes="$root/fuzz/crashes/$t"
  mkdir -p "$work" "$seed" "$crashes"
  # New inputs land in the first folder, the work corpus; the committed seeds are only read.
  # Each input may take at most 10 s and 2 GiB.
  if "$links/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -dict="$root/fuzz/tv.dict" -print_final_stats=1 -artifact_prefix="$crashes/" \
      "$work" "$seed" >"$logs/$t.log" 2>&1; then
    echo ok >"$logs/$t.status"
  else
    echo failed >"$logs/$t.status"
  fi
  rmdir "$crashes" 2>/dev/null || true
  rmdir "$root/fuzz/crashes" 2>/dev/null || true
}
export -f run_target
export build root seconds links logs

rm -f "$logs"/*.status
printf '%s\n' "${selected[@]}" | xargs -P "$jobs" -I{} bash -c 'run_target "$@"' _ {}

if [ "$merge" = 1 ]; then
  for t in "${selected[@]}"; do
    "$links/fuzz_$t" -merge=1 "$root/fuzz/corpus/$t" "$build/corpus/$t" >"$logs/$t.merge.log" 2>&1
  done
fi

failures=0
printf '%-50s %12s %8s %8s  %s\n' target executions seconds corpus result
for t in "${selected[@]}"; do
  log="$logs/$t.log"
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || true)
  took=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | grep -o 'in [0-9]*' | grep -o '[0-9]*' || true)
  corpus=$(find "$build/corpus/$t" "$root/fuzz/corpus/$t" -type f | wc -l)
  status=$(cat "$logs/$t.status" 2>/dev/null || echo failed)
  if [ "$status" = ok ]; then
    result=ok
  else
    failures=$((failures + 1))
    artifact=$(grep -o "Test unit written to .*" "$log" | sed 's/Test unit written to //' | tail -1)
    result="FAILED ${artifact:-(see $log)}"
  fi
  printf '%-50s %12s %8s %8s  %s\n' "$t" "${runs:-?}" "${took:-$seconds}" "$corpus" "$result"
done
echo "fuzz: ${#selected[@]} targets, ${seconds} s each, $failures failed"
[ "$failures" -eq 0 ]

#!/usr/bin/env bash
# Sets up, builds and runs every check, stage by stage, printing the seconds of each and a
# summary at the end. Exits non-zero when any stage failed; a failed stage does not stop the
# stages after it (only those that need its build are skipped).
#
#   setup   the Debian packages (scripts/setup.sh)
#   build   the normal build (build/)
#   tests   the whole test suite but the soak
#   soak    the fault soak against the real TvUpdater, a few rounds (TV_SOAK_ROUNDS, default 5)
#   fuzz    every fuzz target for TV_FUZZ_SECONDS (default 30) on its corpus, two at a time
#   asan    the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/;
#           the soak with TV_ASAN_SOAK_ROUNDS, default 2)
#   tsan    the framework, download engine, dimmer, server and launch flow tests and the soak
#           under ThreadSanitizer (build-tsan/, only the targets of those tests; the soak with
#           TV_TSAN_SOAK_ROUNDS, default 3)
#   windows the GUI-free core cross-built with mingw-w64 and tested under wine64 (build-win64/)
#
# TV_STAGES="build tests" runs only the stages named.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
stages=${TV_STAGES:-"setup build tests soak fuzz asan tsan"}

stage_names=()
stage_results=()
stage_seconds=()

# run_stage NAME COMMAND...: runs the command unless the stage is not wanted, and notes the result.
run_stage() {
  local name="$1"
  shift
  case " $stages " in *" $name "*) ;; *) return 0 ;; esac
  echo "==> stage $name"
  local start=$SECONDS result=ok
  if ! ( set -e; "$@" ); then result=FAILED; fi
  local took=$((SECONDS - start))
  stage_names+=("$name")
  stage_results+=("$result")
  stage_seconds+=("$took")
  echo "==> stage $name: $result in ${took} s"
}

# True when the stage ran and failed.
stage_failed() {
  local i
  for i in "${!stage_names[@]}"; do
    [ "${stage_names[$i]}" = "$1" ] && [ "${stage_results[$i]}" != ok ] && return 0
  done
  return 1
}

configure() {  # configure BUILD_DIR [CMAKE ARGS...]
  local dir="$1"
  shift
  cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null
}

# Test binaries whose CMake target matches the pattern (targets that are not tests are left out).
targets_matching() {
  ninja -C "$root/$1" -t targets all | sed -n 's/^\([A-Za-z0-9_]*\): phony$/\1/p' | grep -E "$2" |
    sort -u
}

stage_setup() { bash scripts/setup.sh; }

stage_build() {
  configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTV_BUILD_TESTS=ON
  cmake --build build -j "$jobs"
}

stage_tests() {
  ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600 -E '^soak_'
}

# Verbose, so that the soak's summary line (runs, faults by kind, failures) shows.
stage_soak() {
  TV_SOAK_ROUNDS="${TV_SOAK_ROUNDS:-5}" ctest --test-dir build -V --timeout 900 -R '^soak_'
}

stage_fuzz() { bash scripts/fuzz.sh "${TV_FUZZ_SECONDS:-30}" --jobs "$jobs"; }

# Sanitizer builds use -O1: with ASan or TSan, GCC takes several times longer at -O2 on the
# template-heavy test sources, and -O1 is what the sanitizers are tuned for.
sanitizer_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g"
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g" -DTV_BUILD_TESTS=ON)

stage_asan() {
  configure build-asan "${sanitizer_flags[@]}" -DTV_SANITIZE=address
  cmake --build build-asan -j "$jobs"
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    TV_SOAK_ROUNDS="${TV_ASAN_SOAK_ROUNDS:-2}" \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900
}

# The threads of the program meet in the framework (SendMessage, Synchronize, termination), the
# download engine, the dimmer's fade and the server; those tests run under ThreadSanitizer, and
# so do the launch flow in process and the soak, whose TvUpdater is then built with it too.
stage_tsan() {
  local pattern='^(framework_[A-Za-z]+_test|download_(module|engine)|ui_FxDimmer_test|server_[a-z_]+_test|integration_launch_flow|soak_faults)$'
  configure build-tsan "${sanitizer_flags[@]}" -DTV_SANITIZE=thread
  mapfile -t targets < <(targets_matching build-tsan "$pattern")
  [ ${#targets[@]} -gt 0 ] || { echo "tsan: no test targets match $pattern" >&2; return 1; }
  # The build runs instrumented tools too (the icon painter), so it needs the suppressions.
  export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
  cmake --build build-tsan -j "$jobs" --target "${targets[@]}"
  local regex
  regex="^($(IFS='|'; echo "${targets[*]}"))\\."
  TV_SOAK_ROUNDS="${TV_TSAN_SOAK_ROUNDS:-3}" \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 900 -R "$regex"
}

run_stage setup stage_setup
run_stage build stage_build
if ! stage_failed build; then
  run_stage tests stage_tests
  run_stage soak stage_soak
fi
run_stage fuzz stage_fuzz
run_stage asan stage_asan
run_stage tsan stage_tsan
# The GUI-free core cross-built for 64-bit Windows and tested under wine64, where wine is present.
if [ -z "${TV_STAGES:-}" ] && { command -v wine64 >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ]; }; then
  stages="$stages windows"
fi
stage_windows() { bash scripts/test-windows.sh; }
run_stage windows stage_windows

echo
echo "==> summary"
failed=0
total=0
for i in "${!stage_names[@]}"; do
  printf '  %-8s %-7s %6s s\n' "${stage_names[$i]}" "${stage_results[$i]}" "${stage_seconds[$i]}"
  total=$((total + stage_seconds[i]))
  [ "${stage_results[$i]}" = ok ] || failed=$((failed + 1))
done
printf '  %-16s %6s s\n' "total" "$total"
if [ "$failed" -ne 0 ]; then
  echo "==> $failed stage(s) failed"
  exit 1
fi
echo "==> all stages passed"

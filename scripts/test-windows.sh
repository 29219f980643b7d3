#!/usr/bin/env bash
# Cross-builds the GUI-free core for 64-bit Windows with mingw-w64 (the platform layer, rpc with
# its WinINet channel, the service contract, the launch core, the instance guard and helpers, and
# their tests) into build-win64/, and runs the tests under wine64 in a throwaway wine prefix.
# The windows themselves need Qt for Windows and are not built here (README, "Building for
# Windows"). Set TV_WIN_BUILD_DIR or TV_JOBS to change the folder or the job count (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
say() { printf 'windows: %s\n' "$*"; }

bash scripts/setup.sh
build_dir=${TV_WIN_BUILD_DIR:-build-win64}
jobs=${TV_JOBS:-2}

say "cross-building into $build_dir/ (mingw-w64, -j$jobs)"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTV_BUILD_GUI=OFF -DTV_BUILD_SERVER=OFF -DTV_BUILD_TESTS=ON >/dev/null
cmake --build "$build_dir" -j "$jobs"

# A prefix of our own, made once per run and removed afterwards, so that nothing of an earlier run
# or of the user's own wine setup takes part.
prefix=$(mktemp -d "${TMPDIR:-/tmp}/tolvara-wine.XXXXXX")
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# Wine's recycle bin is the desktop trash under XDG_DATA_HOME: the tests' deletions go there, not
# into the user's own trash.
export XDG_DATA_HOME="$prefix/xdg-data"
mkdir -p "$XDG_DATA_HOME"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
# The tests talk to servers on 127.0.0.1 only: no proxy of the environment may stand between.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

say "preparing the wine prefix"
# Without mono and gecko: nothing here needs them, and their installers would ask.
WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i >/dev/null 2>&1
wineserver -w

say "running the tests under wine"
status=0
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 300 || status=$?
say "done in $(($(date +%s) - started)) s"
exit "$status"

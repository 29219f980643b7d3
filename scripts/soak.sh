#!/usr/bin/env bash
# A long fault soak: scripts/soak.sh [ROUNDS] (default 100) [SEED].
# Each round publishes a random application, launches it with the real TvUpdater while the
# server fails on purpose (or the updater is killed), then launches it healthy and checks that
# every file is exactly as published. Prints a summary line: runs, faults by kind, failures.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-100}
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTV_BUILD_TESTS=ON >/dev/null
cmake --build build -j "$(nproc)" --target TvUpdater soak_faults
export QT_QPA_PLATFORM=offscreen TV_SOAK_ROUNDS="$rounds"
if [ -n "${2:-}" ]; then export TV_SOAK_SEED="$2"; fi
exec build/tests/soak/soak_faults

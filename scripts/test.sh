#!/usr/bin/env bash
# Sets up, builds and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTV_BUILD_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
cd build
ctest --output-on-failure -j "$jobs" --timeout 600

#!/usr/bin/env bash
# Installs what is missing, builds everything, runs every test and then
# each fuzz target for 20 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)")
# Every fuzz target for a short while, so that a new crash is caught.
bash scripts/fuzz.sh 20

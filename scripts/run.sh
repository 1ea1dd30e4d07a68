#!/usr/bin/env bash
# Installs what is missing, builds, and starts the drill program on the
# sample problem.  Needs a display (DISPLAY set).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
exec build/bin/ruzozu "$PWD/samples/sample.qzb"

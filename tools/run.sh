#!/usr/bin/env bash
# Installs what is missing, builds Skarvet and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKARVET_BUILD_TESTS=OFF -DSKARVET_BUILD_BENCH=OFF >/dev/null
cmake --build build --target skarvet
exec ./build/skarvet

#!/usr/bin/env bash
# Builds Moonwisp and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)"
build/release/tools/sim/moonwisp-sim --seed 1 --quantity 220 --color 6 --glow 1 \
  --width 1280 --height 800 --steps 3600 --dt 16667 --summary

#!/usr/bin/env bash
# The main job: installs what is missing, builds the release configuration
# and runs every benchmark there is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARNIK_BUILD_TESTS=OFF
cmake --build build/release
for b in build/release/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done

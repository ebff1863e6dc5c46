#!/usr/bin/env bash
# Installs what is missing, builds the test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZARNIK_SANITIZE=ON -DZARNIK_BUILD_BENCH=OFF
cmake --build build/asan
ctest --test-dir build/asan --output-on-failure -j "$(nproc)"

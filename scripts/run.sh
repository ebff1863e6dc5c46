#!/usr/bin/env bash
# The main job: installs what is missing, builds the release configuration,
# makes a sample table "TheData" (unless there is one) and shows its
# description and first records, then runs every benchmark there is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARNIK_BUILD_TESTS=OFF
cmake --build build/release
zarnik=build/release/zarnik
sample=build/sample
if [ ! -e "$sample/TheData.dat" ]; then
  echo "== zarnik sample $sample --rows 10000"
  "$zarnik" sample "$sample" --rows 10000
fi
echo "== zarnik info $sample/TheData"
"$zarnik" info "$sample/TheData"
echo "== zarnik dump $sample/TheData (the first 5 records)"
"$zarnik" dump "$sample/TheData" > "$sample/TheData.jsonl"
head -n 5 "$sample/TheData.jsonl"
for b in build/release/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done

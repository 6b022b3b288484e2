#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes every target for a while (60 seconds each,
# or $TARVIK_FUZZ_SECONDS), starting from its seeds and regressions. New
# corpus entries go to a scratch directory outside the tree. Fails on the
# first finding, which stays in build/fuzz/findings/ for a replay:
#     build/debug/fuzz/<target> build/fuzz/findings/<target>-crash-...
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${TARVIK_FUZZ_SECONDS:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

findings="$root/build/fuzz/findings"
mkdir -p "$findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

for list in "$root"/build/fuzz/fuzz/*.corpus; do
  target=$(basename "$list" .corpus)
  mapfile -t corpus < "$list"
  mkdir "$scratch/$target"
  echo "Fuzzing $target for $seconds seconds"
  # Absolute paths only: a target may change its working directory.
  "$root/build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" \
    "$scratch/$target" "${corpus[@]}"
done

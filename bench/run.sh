#!/usr/bin/env bash
# Builds the program and the benchmarks (preset "bench": Release, Google
# Benchmark from Debian's libbenchmark-dev), generates the benchmark levels
# into build/bench/bench/levels (about 190 MB, once), runs every benchmark and
# prints one markdown table on standard output. Progress goes to standard error.
#
#   bench/run.sh [benchmark flags]     e.g. --benchmark_filter=dense
#
# TARVIK_BENCH_REPETITIONS (default 6) sets how many times each benchmark is
# repeated; the table shows the medians, so a busy machine blurs the numbers
# less. Run it on a quiet machine for numbers worth comparing.
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions=${TARVIK_BENCH_REPETITIONS:-6}
build=build/bench

{
  cmake --preset bench
  cmake --build --preset bench --target tarvik tarvik_bench bench_levels
} >&2

# The levels into the page cache, so that the first repetition measures the
# same thing as the others.
cat "$build"/bench/levels/*.qlv >/dev/null

exec "$build/bench/tarvik_bench" --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true "$@" \
  "$build/app/tarvik" "$build/bench/levels"

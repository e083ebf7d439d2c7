#!/usr/bin/env bash
# Builds the watch benchmark in Release and runs it: the time of one progress-watch tick over
# 10 KiB, 100 KiB and 1 MiB of apply output. The goal is under 1 ms at 1 MiB.
#
#   scripts/bench-watch.sh [extra Google Benchmark flags]
#   BENCH_BUILD=/tmp/nt-bench     build folder (default: build/bench in the repository)
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD:-$repo/build/bench}"

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
if ! cmake --build "$build" --target help | grep ' watch_bench$' >/dev/null; then
  echo "bench-watch.sh: Google Benchmark was not found (Debian: libbenchmark-dev), no watch_bench target" >&2
  exit 1
fi
cmake --build "$build" -j "$(nproc)" --target watch_bench >/dev/null
"$build/watch_bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true "$@"

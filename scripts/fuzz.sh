#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/*_fuzz.cpp) with clang and runs each for a bounded time,
# starting from its seed corpus. The corpus is copied into the build tree first, so what the fuzzer
# adds never lands in the repository. Fails when a target crashes or finds a broken invariant; the
# input that did it is left in the build tree as crash-*/timeout-*/oom-*.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]     (default 20)
#   FUZZ_BUILD=/tmp/nt-fuzz                   build folder (default: build/fuzz in the repository)
set -euo pipefail

seconds="${1:-20}"
case "$seconds" in
  '' | *[!0-9]*) echo "fuzz.sh: seconds must be a whole number, got '$seconds'" >&2; exit 2 ;;
esac

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD:-$repo/build/fuzz}"
werror=$([ "${CI:-}" = true ] && echo ON || echo OFF)

cmake -S "$repo" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_FUZZ=ON -DMORVANE_WERROR="$werror" >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null

status=0
for source in "$repo"/tests/fuzz/*_fuzz.cpp; do
  name="$(basename "$source" .cpp)"
  work="$build/run/$name"
  rm -rf "$work"
  mkdir -p "$work/corpus"
  if [ -d "$repo/tests/fuzz/corpus/$name" ]; then
    cp -R "$repo/tests/fuzz/corpus/$name/." "$work/corpus/"
  fi
  log="$work/fuzz.log"
  echo "== $name: ${seconds}s"
  if (cd "$work" && "$build/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 corpus >"$log" 2>&1); then
    grep -E '^Done [0-9]+ runs' "$log" | tail -1 | sed "s/^/$name: /" || true
  else
    status=1
    echo "$name: FAILED, see $log" >&2
    grep -E 'ERROR|runtime error|Test unit written|SUMMARY|deadly signal' "$log" | head -20 >&2 || true
  fi
done
exit "$status"

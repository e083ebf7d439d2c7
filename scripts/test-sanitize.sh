#!/usr/bin/env bash
# Builds the native test suite with AddressSanitizer and UndefinedBehaviorSanitizer and runs it.
# Any report fails the run (the sanitizers abort on the first finding).
#
#   scripts/test-sanitize.sh [gtest flags]
#   SAN_BUILD=/tmp/nt-san     build folder (default: build/sanitize in the repository)
#   CXX=clang++ CC=clang      the compilers (default: the system's)
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${SAN_BUILD:-$repo/build/sanitize}"
werror=$([ "${CI:-}" = true ] && echo ON || echo OFF)

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON -DMORVANE_WERROR="$werror" >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvane_tests >/dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
"$build/morvane_tests" --gtest_brief=1 "$@" | tee "$build/sanitized-output.txt"
status=${PIPESTATUS[0]}
passed=$(grep -E '^\[  PASSED  \] [0-9]+ tests?' "$build/sanitized-output.txt" | grep -oE '[0-9]+' | head -1)
[ "$status" -eq 0 ] && echo "sanitized: ${passed:-0} tests passed under AddressSanitizer and UndefinedBehaviorSanitizer, no finding"
exit "$status"

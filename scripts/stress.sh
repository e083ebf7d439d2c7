#!/usr/bin/env bash
# The stress run under Wine: 50 whole installations of the small image and 200 image queries in one
# program session (tests/wine/stress_wine_test.cpp). Builds the x64 program and tests when asked,
# runs the Stress suite and prints the figures it measured: handles, GDI and USER objects, working
# set and private bytes at the start, after the installations and at the end, and the time per
# installation. Takes about five minutes.
#
#   scripts/stress.sh [gtest args...]
#   STRESS_BUILD=build/x64   the build folder (default build/x64 in the repository)
#   STRESS_MAKE=1            build wine_tests and the fixtures first, and MorvaneSetup (build/x64-app)
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${STRESS_BUILD:-$repo/build/x64}"
if [ "${STRESS_MAKE:-0}" = 1 ]; then
  cmake --build "$build" -j "$(nproc)" --target wine_tests fixtures >/dev/null || exit 2
  cmake --build "$repo/build/x64-app" -j "$(nproc)" --target MorvaneSetup >/dev/null || exit 2
fi

out=$(mktemp /tmp/morvane-stress.XXXXXX)
trap 'rm -f "$out"' EXIT
MORVANE_STRESS=1 RIG_TIMEOUT=${RIG_TIMEOUT:-1500} bash "$repo/tests/wine/run.sh" x64 "$build" \
  --gtest_filter='Stress*' "$@" 2>&1 | tee "$out"
rc=${PIPESTATUS[0]}

echo
echo "== stress figures =="
grep '^\[ figures  \]' "$out" | sed 's/^\[ figures  \] //'
case $rc in
  0) echo "== stress run passed ==" ;;
  77) echo "== stress run skipped: this machine cannot run x64 programs under Wine ==" ;;
  *) echo "== stress run FAILED ($rc) ==" ;;
esac
exit "$rc"

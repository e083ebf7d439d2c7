#!/usr/bin/env bash
# The stress run under Wine: 50 whole installations of the small image and 200 image queries in one
# program session (bench/stress_win.cpp), in the rig of the Windows-side tests. Builds the x64
# program and the stress program when asked, runs it and prints the figures it measured: handles,
# GDI and USER objects, windows, working set and private bytes at the start, after the first
# installation, after all of them, after the first query and at the end, their growth, and the time
# per installation. Figures to read: nothing passes or fails on them. Takes about five minutes.
#
#   scripts/stress.sh [gtest args...]
#   STRESS_BUILD=build/x64   the build folder (default build/x64 in the repository)
#   STRESS_MAKE=1            build the stress program and the fixtures first, and MorvaneSetup (build/x64-app)
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${STRESS_BUILD:-$repo/build/x64}"
if [ "${STRESS_MAKE:-0}" = 1 ]; then
  cmake --build "$build" -j "$(nproc)" --target stress fixtures >/dev/null || exit 2
  cmake --build "$repo/build/x64-app" -j "$(nproc)" --target MorvaneSetup >/dev/null || exit 2
fi

# run.sh runs BUILD/wine_tests.exe with the stand-ins of BUILD/fixtures: a folder of links hands it
# the stress program instead.
rig="$build/bench/stress-rig"
mkdir -p "$rig"
ln -sfn "$build/bench/stress.exe" "$rig/wine_tests.exe"
ln -sfn "$build/fixtures" "$rig/fixtures"
out=$(mktemp /tmp/morvane-stress.XXXXXX)
trap 'rm -f "$out"' EXIT
RIG_TIMEOUT=${RIG_TIMEOUT:-1500} bash "$repo/tests/wine/run.sh" x64 "$rig" --gtest_filter='Stress*' "$@" 2>&1 | tee "$out"
rc=${PIPESTATUS[0]}

echo
echo "== stress figures =="
grep '^\[ figures  \]' "$out" | sed 's/^\[ figures  \] //'
case $rc in
  0) echo "== stress run done ==" ;;
  77) echo "== stress run skipped: this machine cannot run x64 programs under Wine ==" ;;
  *) echo "== stress run FAILED ($rc): an installation did not end as the first one ==" ;;
esac
exit "$rc"

#!/usr/bin/env bash
# Every test: installs what is missing, builds, and runs the whole suite through CTest (the native
# tests, the same under AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time, the import check of both programs, and the Windows-side suite under Wine, with the
# fault matrix). Afterwards it prints the evidence worth reading in a log: the fuzz runs with their
# execution counts, the sanitizer run and every matrix row.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup-deps.sh || exit 1
bash scripts/build.sh || exit 1
out=build/native/ctest-output.txt
ctest --test-dir build/native --output-on-failure --timeout 1500 -j 2 "$@" 2>&1 | tee "$out"
rc=${PIPESTATUS[0]}
log=build/native/Testing/Temporary/LastTest.log
if [ -f "$log" ]; then
  echo
  echo "== fuzz runs (executions in the time given)"
  grep -E '^[a-z_]+_fuzz: Done [0-9]+ runs' "$log" || echo "(none)"
  echo "== sanitized native suite"
  grep -E '^sanitized: ' "$log" || echo "(not run)"
  echo "== fault matrix under Wine"
  grep -E '^\[ +(OK|FAILED) +\] Matrix\.' "$log" | sed -E 's/ \([0-9]+ ms\)$//' || echo "(not run)"
  echo
  # The owner's measure: every line under tests/ in every language (the suites, the rig, fixtures
  # and fuzz targets) against the product's code, blank and comment lines not counted. The
  # benchmarks (bench/) are programs that print figures for a reader, not tests: counted apart.
  cxx() { xargs -r cat 2>/dev/null | grep -c -v -E '^\s*(//.*)?$'; }
  scr() { xargs -r cat 2>/dev/null | grep -c -v -E '^\s*(#.*)?$'; }
  files=$(git ls-files 2>/dev/null)
  test_lines=$(( $(grep -E '^tests/.*\.(cpp|h)$' <<<"$files" | cxx) + $(grep -E '^tests/.*(\.(sh|py|cmake)|CMakeLists\.txt)$' <<<"$files" | scr) ))
  bench_lines=$(grep -E '^bench/.*\.(cpp|h)$' <<<"$files" | cxx)
  product_lines=$(grep -E '^(app|catalogue|install|drives|progress|shell)/.*\.(cpp|h)$' <<<"$files" | cxx)
  echo "== code: $product_lines lines of product, $test_lines lines of tests in every language" \
    "(ratio $(awk -v t="$test_lines" -v p="$product_lines" 'BEGIN { printf "%.2f", p ? t / p : 0 }') : 1)," \
    "$bench_lines lines of benchmarks"
  grep -E 'tests passed, [0-9]+ tests failed' "$out" | tail -1
fi
exit "$rc"

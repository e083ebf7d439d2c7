#!/usr/bin/env bash
# Every test: installs what is missing, builds, and runs the whole suite through CTest (the native
# tests, the same under AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time, the import check of both programs, and the Windows-side tests under Wine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup-deps.sh
bash scripts/build.sh
ctest --test-dir build/native --output-on-failure --timeout 1500 -j 2 "$@"

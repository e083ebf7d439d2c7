#!/usr/bin/env bash
# The main job in a sandbox: installs what is missing, builds, and runs one whole installation of
# a real image (made here with the real image tool) onto a virtual drive under Wine, with the
# real tool behind the wrapper and stand-ins for the Windows tools, in the rig of the Windows-side
# tests (bench/sandbox_win.cpp). Prints the stages seen, the calls made and the files applied;
# leaves screenshots in build/sandbox/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup-deps.sh
bash scripts/build.sh >/dev/null
cmake --build build/x64 -j "$(nproc)" --target sandbox >/dev/null
out="$root/build/sandbox"
rm -rf "$out"
mkdir -p "$out"
# run.sh runs BUILD/wine_tests.exe with the stand-ins of BUILD/fixtures: a folder of links hands it
# the sandbox program instead.
rig="$root/build/x64/bench/sandbox-rig"
mkdir -p "$rig"
ln -sfn "$root/build/x64/bench/sandbox.exe" "$rig/wine_tests.exe"
ln -sfn "$root/build/x64/fixtures" "$rig/fixtures"
MORVANE_SHOT_DIR="$out" RIG_QUIET=1 \
  bash tests/wine/run.sh x64 "$rig" --gtest_filter='Sandbox.*' --gtest_brief=1 | grep '^sandbox:' || {
  echo "sandbox: the run failed" >&2
  exit 1
}
echo "sandbox: screenshots in $out:"
ls -1 "$out"/*.png

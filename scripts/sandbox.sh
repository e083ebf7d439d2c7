#!/usr/bin/env bash
# The main job in a sandbox: installs what is missing, builds, and runs one whole installation of
# a real image (made here with the real image tool) onto a virtual drive under Wine, with the
# real tool behind the wrapper and stand-ins for the Windows tools. Prints the stages seen, the
# calls made and the files applied; leaves screenshots in build/sandbox/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup-deps.sh
bash scripts/build.sh >/dev/null
out="$root/build/sandbox"
rm -rf "$out"
mkdir -p "$out"
MORVANE_SANDBOX=1 MORVANE_SHOT_DIR="$out" RIG_QUIET=1 \
  bash tests/wine/run.sh x64 build/x64 --gtest_filter='Sandbox.*' --gtest_brief=1 | grep '^sandbox:' || {
  echo "sandbox: the run failed" >&2
  exit 1
}
echo "sandbox: screenshots in $out:"
ls -1 "$out"/*.png

#!/usr/bin/env bash
# Lists every #include in the product folders that reaches a folder of a higher layer, and fails on
# any. Layers, bottom to top: shell; progress and drives; catalogue; install; app. A folder may
# include from its own layer or below.
# Usage: check_layers.sh [ROOT]   Exit status: 0 no upward include, 1 some (listed on stdout).
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
declare -A layer=([shell]=0 [progress]=1 [drives]=1 [catalogue]=2 [install]=3 [app]=4)

found=0
for from in "${!layer[@]}"; do
  for file in "$root/$from"/*.h "$root/$from"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r line; do
      num=${line%%:*}
      target=$(sed -E 's/^[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*$/\1/' <<<"$line")
      [ -n "${layer[$target]+x}" ] || continue
      if [ "${layer[$target]}" -gt "${layer[$from]}" ]; then
        echo "$from/${file##*/}:$num: ${line#*:} (layer $from includes higher layer $target)"
        found=1
      fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$file")
  done
done
[ "$found" = 0 ] && echo "no upward include"
exit "$found"

#!/usr/bin/env bash
# Lists every #include in the product folders that reaches a folder of a higher layer, and fails on
# any. Layers, bottom to top: shell; progress and drives; catalogue; install; app. A folder may
# include from its own layer or below.
# Usage: check_layers.sh [ROOT]   Exit status: 0 no upward include, 1 some (listed on stdout).
cd "${1:-$(dirname "$0")/..}" || exit 2
grep -nE '^\s*#\s*include\s*"(shell|progress|drives|catalogue|install|app)/' {shell,progress,drives,catalogue,install,app}/*.{h,cpp} 2>/dev/null |
  awk 'BEGIN { split("shell progress drives catalogue install app", name); split("0 1 1 2 3 4", rank)
               for (i in name) layer[name[i]] = rank[i] }
       { split($0, from, "/"); match($0, /"[a-z]+\//); to = substr($0, RSTART + 1, RLENGTH - 2)
         if (layer[to] > layer[from[1]]) { print $0 " (layer " from[1] " includes higher layer " to ")"; bad = 1 } }
       END { if (!bad) print "no upward include"; exit bad }'

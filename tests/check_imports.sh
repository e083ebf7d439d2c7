#!/usr/bin/env bash
# Lists the DLLs each PE file imports, and every function it imports from each, and fails when a
# DLL is not a system DLL that Windows PE carries, or (with --allow) when a function is not in the
# reviewed list of functions that exist on the oldest Windows the programs run on. A statically
# linked build imports no other DLL: a libstdc++, libgcc or winpthread DLL here means the static
# link went wrong; a function missing from the list is newer than that Windows, or not yet checked.
# Usage: check_imports.sh [--allow LIST] EXE...
#   LIST: one DLL!Function a line (DLL in lower case; lines that begin with "#" are comments); an
#   import by ordinal only is written DLL!#ORDINAL.
# Exit status: 0 all clean, 1 a foreign DLL or an unlisted function, 2 unreadable input.
set -uo pipefail

OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}  # reads PE32 and PE32+ alike
ALLOWED=(kernel32 user32 gdi32 comctl32 comdlg32 shell32 ole32 oleaut32 advapi32 shlwapi version
         msvcrt uxtheme)

list=""
if [ "${1:-}" = --allow ]; then
  list=${2:-}
  shift 2 || true
  if [ ! -r "$list" ]; then
    echo "cannot read the allow-list '$list'" >&2
    exit 2
  fi
fi
if [ "$#" -eq 0 ]; then
  echo "usage: $0 [--allow LIST] EXE..." >&2
  exit 2
fi

allowed() {
  local base a
  base=$(printf '%s' "$1" | tr '[:upper:]' '[:lower:]')
  base=${base%.dll}
  for a in "${ALLOWED[@]}"; do
    [ "$base" = "$a" ] && return 0
  done
  return 1
}

declare -A listed=()
if [ -n "$list" ]; then
  while IFS= read -r line; do
    line=${line//[[:space:]]/}
    [ -n "$line" ] && [ "${line:0:1}" != "#" ] && listed[$line]=1
  done <"$list"
fi

# The import table as "dll<TAB>function" lines. objdump prints a "DLL Name: X" line per import
# descriptor, then one "<vma> <hint> <name>" line per function (only "<vma> <ordinal>" for an
# import by ordinal), and a blank line after the last.
imports_of() {
  awk '
    /^[[:space:]]*DLL Name:/ { dll = tolower($3); sub(/\r$/, "", dll); infn = 0; count[dll] += 0; next }
    dll != "" && /^[[:space:]]*vma:/ { infn = 1; next }
    infn && /^[[:space:]]*$/ { infn = 0; next }
    infn && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll "\t" $3; count[dll]++; next }
    infn && NF == 2 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll "\t#" $2; count[dll]++; next }
    END { for (d in count) if (count[d] == 0) print d "\t" }
  ' <<<"$1"
}

status=0
fail() { [ "$status" -eq 0 ] && status=$1; }
for exe in "$@"; do
  if ! dump=$("$OBJDUMP" -p "$exe" 2>&1); then
    echo "$exe: cannot read: $dump" >&2
    status=2
    continue
  fi
  if ! grep -q '^Magic' <<<"$dump"; then
    echo "$exe: not a PE image" >&2
    status=2
    continue
  fi
  mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump" | tr -d '\r')
  table=$(imports_of "$dump")
  echo "$exe: ${#dlls[@]} imported DLL(s), $(grep -c $'\t.' <<<"$table") function(s)"
  for dll in "${dlls[@]}"; do
    lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
    mapfile -t fns < <(awk -F'\t' -v d="$lower" '$1 == d && $2 != "" { print $2 }' <<<"$table" | sort)
    if allowed "$dll"; then
      echo "  ok       $dll: ${fns[*]}"
    else
      echo "  FOREIGN  $dll: ${fns[*]}"
      fail 1
    fi
    if [ "${#fns[@]}" -eq 0 ]; then
      echo "  UNREAD   $dll: no function read from the import table"
      status=2
    fi
    [ -n "$list" ] || continue
    for fn in "${fns[@]}"; do
      if [ -z "${listed[$lower!$fn]:-}" ]; then
        echo "  NOT IN LIST  $lower!$fn"
        fail 1
      fi
    done
  done
done
exit "$status"

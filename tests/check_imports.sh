#!/usr/bin/env bash
# Lists the DLLs each PE file imports, and every function it imports from each, and fails when a
# DLL is not a system DLL that Windows PE carries, or (with --allow) when a function is not in the
# reviewed list of functions that exist on the oldest Windows the programs run on. A statically
# linked build imports no other DLL: a libstdc++, libgcc or winpthread DLL here means the static
# link went wrong; a function missing from the list is newer than that Windows, or not yet checked.
# Usage: check_imports.sh [--allow LIST] EXE...
#   LIST: one DLL!Function a line (DLL in lower case; lines that begin with "#" are comments); an
#   import by ordinal only is written DLL!#ORDINAL.
# Exit status: 0 all clean, 1 a foreign DLL or an unlisted function, 2 unreadable input (also a DLL
# of which no function was read: the reading of objdump's listing went wrong).
set -uo pipefail
list=/dev/null
if [ "${1:-}" = --allow ]; then list=${2:-} && shift 2; fi
[ $# -gt 0 ] && [ -r "$list" ] || { echo "usage: $0 [--allow LIST] EXE...   (LIST readable)" >&2; exit 2; }
status=0
for exe in "$@"; do
  # objdump prints a "DLL Name: X" line per import descriptor, then a "vma:" heading and one
  # "<vma> <hint> <name>" line per function ("<vma> <ordinal>" for an import by ordinal), then a
  # blank line. It reads PE32 and PE32+ alike.
  "${OBJDUMP:-x86_64-w64-mingw32-objdump}" -p "$exe" 2>/dev/null | tr -d '\r' |
    awk -v exe="$exe" -v check="$([ "$list" = /dev/null ] || echo 1)" '
    FILENAME != "-" { gsub(/[[:space:]]/, ""); if ($0 !~ /^(#|$)/) listed[$0] = 1; next }
    /^Magic/ { pe = 1 }
    /^[[:space:]]*DLL Name:/ { name[++n] = $3; fns[n] = ""; infn = 0; next }
    n && /^[[:space:]]*vma:/ { infn = 1; next }
    infn && NF == 0 { infn = 0; next }
    infn && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF <= 3 { fns[n] = fns[n] " " (NF == 3 ? $3 : "#" $2); total++ }
    function fail(code) { if (rc < code) rc = code }
    END {
      if (!pe) { print exe ": not a readable PE image" > "/dev/stderr"; exit 2 }
      printf "%s: %d imported DLL(s), %d function(s)\n", exe, n, total
      for (i = 1; i <= n; i++) {
        dll = tolower(name[i])
        system_dll = dll ~ /^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|ole32|oleaut32|advapi32|shlwapi|version|msvcrt|uxtheme)\.dll$/
        printf "  %-8s %s:%s\n", system_dll ? "ok" : "FOREIGN", name[i], fns[i]
        if (!system_dll) fail(1)
        if (fns[i] == "") { print "  UNREAD   " name[i] ": no function read from the import table"; fail(2) }
        for (k = split(fns[i], f, " "); check && k > 0; k--)
          if (!((dll "!" f[k]) in listed)) { print "  NOT IN LIST  " dll "!" f[k]; fail(1) }
      }
      exit rc
    }' "$list" -
  rc=$?
  [ "$rc" -le "$status" ] || status=$rc
done
exit "$status"

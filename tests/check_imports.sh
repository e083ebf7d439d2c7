#!/usr/bin/env bash
# Lists the DLLs each PE file imports and fails when one is not a system DLL that Windows PE
# carries. A statically linked build imports nothing else; a libstdc++, libgcc or winpthread DLL
# here means the static link went wrong.
# Usage: check_imports.sh EXE...   Exit status: 0 all clean, 1 a foreign import, 2 unreadable file.
set -uo pipefail

OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}  # reads PE32 and PE32+ alike
ALLOWED=(kernel32 user32 gdi32 comctl32 comdlg32 shell32 ole32 oleaut32 advapi32 shlwapi version
         msvcrt uxtheme)

if [ "$#" -eq 0 ]; then
  echo "usage: $0 EXE..." >&2
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

status=0
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
  # objdump prints one "DLL Name: X" line per import descriptor.
  mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump" | tr -d '\r')
  echo "$exe: ${#dlls[@]} imported DLL(s)"
  for dll in "${dlls[@]}"; do
    if allowed "$dll"; then
      echo "  ok       $dll"
    else
      echo "  FOREIGN  $dll"
      [ "$status" -eq 0 ] && status=1
    fi
  done
done
exit "$status"

#!/usr/bin/env bash
# The portable code is standard C++20: every source file of the program's folders that is not a
# Windows binding (*_win.cpp) must compile with clang in strict ISO mode, no extensions and no
# warnings. Only the syntax is checked; nothing is built.
#
#   tests/check_portable.sh      CXX_PORTABLE=clang++-14   the compiler (default clang++)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cxx=${CXX_PORTABLE:-clang++}
command -v "$cxx" >/dev/null || { echo "check_portable.sh: no $cxx (Debian: clang)" >&2; exit 1; }

mapfile -t files < <(find "$root"/{app,catalogue,install,drives,progress,shell} -maxdepth 1 -name '*.cpp' ! -name '*_win.cpp' 2>/dev/null | sort)
[ "${#files[@]}" -gt 0 ] || { echo "check_portable.sh: no portable sources under $root" >&2; exit 1; }

"$cxx" -std=c++20 -pedantic-errors -Wall -Wextra -Werror -fsyntax-only -I "$root" "${files[@]}"
echo "portable: ${#files[@]} files compile as standard C++20 ($cxx -pedantic-errors -Wall -Wextra -Werror)"

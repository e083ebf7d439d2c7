#!/usr/bin/env bash
# Checks the facts of the Wine rig that the suite depends on and that none of its rows would show
# if they stopped holding (the rows would still pass, but test something else than the users'
# world):
#   rig_selftest.sh FIXTURES_DIR [FIXTURES_DIR_X86]
# - a program Wine itself started runs without address randomization (lib.sh: setarch -R; with it,
#   one Wine process start in a few thousand died and made a CreateProcess fail);
# - the programs get code page 936 under the rig's default locale (the English pass checks its own);
# - the face the prefix gives the Chinese UI fonts is installed and draws Chinese;
# - R: is a removable drive;
# - the image-tool wrapper hands on the real tool's standard output and standard error in text mode,
#   as the Windows build's C runtime writes them (each 0x0A byte as 0x0D 0x0A).
# The x86 fixtures run in a win32 prefix where this machine runs 32-bit code. The test keeps its own
# prefixes selftest-win64 and selftest-win32 in MORVANE_PREFIX_DIR (default build/wine-prefixes), so
# that it never ends the wine server of another run. Prints PASS/FAIL/SKIP lines; exits 1 when
# anything failed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
[ -f "${1:-}/wimlib-imagex.exe" ] || { echo "usage: $0 FIXTURES_DIR [FIXTURES_DIR_X86]" >&2; exit 2; }
prefixes=$(realpath -m "${MORVANE_PREFIX_DIR:-$here/../../build/wine-prefixes}")
work=$(mktemp -d /tmp/rig-selftest.XXXXXX) fails=0 P=
teardown() { [ -z "$P" ] || { wine_server_kill "$P"; wine_unmap_drive "$P" r; }; xvfb_stop; }
trap 'teardown; rm -rf "$work"' EXIT
check() { if "${@:2}"; then echo "PASS $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi; }

check "the font WenQuanYi Micro Hei draws Chinese" grep -qx 'WenQuanYi Micro Hei' \
  <(fc-list ':lang=zh-cn' family | tr ',' '\n')
# An image captured here with the Linux tool, and the bytes the Windows tool writes for its XML.
mkdir -p "$work/src/Windows" "$work/r"
printf 'hello\r\n' >"$work/src/Windows/a.txt"
wimlib-imagex capture "$work/src" "$work/img.wim" "Rig Test" >/dev/null || exit 1
wimlib-imagex info --xml "$work/img.wim" | perl -pe 's/\n/\r\n/g' >"$work/want.xml"

run_arch() {  # ARCH PREFIX_ARCH FIXTURES
  local tag="[$1/$2]" out rc exe why=
  [ "$1" != x86 ] || why=" (a kernel without 32-bit code, or no wine32)"
  wine_can_run "$1" || { echo "SKIP $tag Wine's $1 loader does not run here$why"; return; }
  P=$prefixes/selftest-$2
  wine_prefix_make "$P" "$2" || { check "$tag make the prefix $P" false; return; }
  xvfb_start || { check "$tag start Xvfb" false; return; }
  wine_map_drive "$P" r "$work/r"
  wine_server_kill "$P"  # drives are read when the server starts
  install_tools "$P/drive_c/Morvane" "$3" || { check "$tag lay out the tools" false; return; }
  exe=$P/drive_c/Morvane/Bin/wimlib-imagex.exe

  out=$(wine_run "$P" cmd /c 'cmd /c type Z:\proc\self\personality' | tr -d '\r')
  [[ $out =~ ^[0-9a-fA-F]+$ ]] || out=0
  check "$tag a program Wine started runs without address randomization (personality $out)" \
    test $((0x$out & 0x0040000)) != 0
  check "$tag ANSI code page 936 under LANG=${RIG_LANG:-zh_CN.UTF-8}: cmd writes 中文 to a file in GBK" \
    test "$(wine_run "$P" cmd /c echo 中文 | tr -d '\r' | iconv -f GBK -t UTF-8)" = 中文
  check "$tag R: is a removable drive" grep -qE '^2 +R:' \
    <(wine_run "$P" wmic logicaldisk get name,drivetype 2>/dev/null | iconv -f UTF-16LE -t UTF-8)
  wine_run "$P" "$exe" info --xml "$(wine_dos_path "$P" "$work/img.wim")" >"$work/info.xml"
  check "$tag wrapper, info --xml: the Linux tool's bytes in text mode" cmp -s "$work/info.xml" "$work/want.xml"
  wine_run "$P" "$exe" info 'Z:\none.wim' >"$work/out.txt" 2>"$work/err.txt"
  rc=$?
  check "$tag wrapper, the real tool failing: exit $rc, its [ERROR] line on standard error with CRLF" \
    test $rc != 0 -a ! -s "$work/out.txt" -a "$(grep -c $'\\[ERROR\\] .*none\\.wim.*\r$' "$work/err.txt")" = 1
  teardown
}

run_arch x64 win64 "$1"
if [ -n "${2:-}" ]; then run_arch x86 win32 "$2"; else echo "SKIP [x86/win32] no x86 fixtures given"; fi
[ $fails = 0 ] || { echo "rig self test: $fails FAILED"; exit 1; }
echo "rig self test: all passed"

#!/usr/bin/env bash
# Proves the Wine rig and the fixtures: rig_selftest.sh FIXTURES_DIR [FIXTURES_DIR_X86]
#   FIXTURES_DIR      the x64 fixtures (…/fixtures of a MinGW x64 build)
#   FIXTURES_DIR_X86  the x86 fixtures; run in a win32 prefix when this machine runs 32-bit code
# Environment: RIG_PREFIX_ROOT (cached prefixes; default build/wine-prefixes of the repository;
#   this test keeps its own selftest-win64 and selftest-win32 there, so that it never kills the
#   wine server of another run using the cache), RIG_KEEP=1 keeps the work folder.
# Prints PASS/FAIL/SKIP lines; exits 1 when anything failed.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"

if [ $# -lt 1 ] || [ ! -f "$1/wimlib-imagex.exe" ]; then
  echo "usage: $0 FIXTURES_DIR [FIXTURES_DIR_X86]   (FIXTURES_DIR holds wimlib-imagex.exe)" >&2
  exit 2
fi
FX=$(cd "$1" && pwd)
FX86=""
if [ $# -ge 2 ] && [ -n "$2" ]; then FX86=$(cd "$2" && pwd); fi
PREFIX_ROOT=${RIG_PREFIX_ROOT:-$repo/build/wine-prefixes}
mkdir -p "$PREFIX_ROOT"
PREFIX_ROOT=$(cd "$PREFIX_ROOT" && pwd)

work=$(mktemp -d /tmp/rig-selftest.XXXXXX)
fails=0
used_prefixes=()

pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; fails=$((fails + 1)); }
skip() { echo "SKIP $*"; }
# check NAME COMMAND...: PASS when the command succeeds.
check() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

cleanup() {
  local p
  for p in "${used_prefixes[@]}"; do
    wine_unmap_drive "$p" t
    wine_unmap_drive "$p" u
    wine_unmap_drive "$p" r
    wine_server_kill "$p"
  done
  xvfb_stop
  if [ "${RIG_KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# A batch file as the installer writes them: ANSI code page 936, CRLF.
write_bat() { printf '%s\r\n' "$@" | iconv -f UTF-8 -t GBK >"$BAT_DIR/$BAT_NAME"; }

# --- the image: captured here with the Linux tool ------------------------------------------------
src=$work/src
mkdir -p "$src/Windows/System32" "$src/Program Files/中文 目录" "$src/Users/Public"
printf 'hello\r\n' >"$src/Windows/System32/a.txt"
printf '你好\n' >"$src/Program Files/中文 目录/说明.txt"
head -c 200000 /dev/urandom >"$src/big.bin"
: >"$src/Users/Public/empty.dat"
src2=$work/src2
mkdir -p "$src2/Windows"
printf 'second\n' >"$src2/Windows/two.txt"

mkdir -p "$work/T/dir with space"
img=$work/T/img.wim
export WIMLIB_IMAGEX_USE_UTF8=1
if ! wimlib-imagex capture "$src" "$img" "Morvane Test" >/dev/null 2>"$work/capture.err" ||
  ! wimlib-imagex append "$src2" "$img" "Second Image" >/dev/null 2>>"$work/capture.err" ||
  ! wimlib-imagex info "$img" 1 --image-property DISPLAYNAME="测试 系统" \
    --image-property WINDOWS/VERSION/MAJOR=10 >/dev/null 2>>"$work/capture.err"; then
  fail "capture a test image with the Linux wimlib-imagex ($(head -c 300 "$work/capture.err"))"
  exit 1
fi
cp "$img" "$work/T/dir with space/测试 镜像.wim"
wimlib-imagex info --xml "$img" >"$work/ref-info.xml"
# What the Windows tool leaves there: its standard output is in text mode (0x0A -> 0x0D 0x0A).
perl -pe 's/\n/\r\n/g' "$work/ref-info.xml" >"$work/ref-info-text.xml"
pass "captured a two-image test WIM ($(stat -c %s "$img") bytes)"

# --- one architecture ----------------------------------------------------------------------------
# run_arch ARCH (x64|x86) PREFIX_ARCH (win64|win32) FIXTURES
run_arch() {
  local arch=$1 parch=$2 fx=$3 P t0 out rc bindir W app tag
  tag="[$arch/$parch]"
  P=$PREFIX_ROOT/selftest-$parch
  if ! wine_can_run "$arch"; then
    skip "$tag this machine cannot run $arch programs under Wine (no 32-bit kernel support or loader)"
    return
  fi
  t0=$SECONDS
  if ! wine_prefix_make "$P" "$parch"; then
    fail "$tag make the $parch prefix in $P"
    return
  fi
  pass "$tag prefix $P ready ($((SECONDS - t0)) s)"
  used_prefixes+=("$P")
  check "$tag fixtures are $arch programs" test "$(pe_arch "$fx/wimlib-imagex.exe")" = "$arch"

  # The virtual desktop belongs to the first program of a server session and keeps its DISPLAY: a
  # desktop started without X makes later windows hang. So X comes first, before any Wine process.
  if ! xvfb_start; then
    fail "$tag start Xvfb"
    return
  fi

  local U=$work/U-$arch
  rm -rf "$U"
  mkdir -p "$U"
  printf 'already here\n' >"$U/keep.txt"
  # Map before the server starts: GetLogicalDrives sees new links only after a server restart.
  wine_server_kill "$P"
  wine_map_drive "$P" t "$work/T" && wine_map_drive "$P" u "$U" && wine_map_drive "$P" r "$U"
  wine_server_start "$P"

  W=$P/drive_c/windows/temp
  app=$P/drive_c/Morvane
  rm -rf "$app"
  install_standins "$P" "$fx" && install_tools "$app" "$fx"
  check "$tag stand-ins and tools laid out" test -f "$P/drive_c/windows/system32/format.com" \
    -a -f "$app/Bin64/wimlib-imagex.exe" -a -f "$app/Bin/bcdboot.exe" -a -f "$app/Bin/bootsect.exe" \
    -a -x "$app/Bin/wimlib-run.sh"
  local binname=Bin
  [ "$parch" = win64 ] && binname=Bin64
  bindir="C:\\Morvane\\$binname"
  BAT_DIR=$W

  # Address randomization off (ADDR_NO_RANDOMIZE, 0x0040000) in a program that Wine itself started.
  out=$(wine_run "$P" cmd /c 'cmd /c type Z:\proc\self\personality' | tr -d '\r')
  local personality=0
  [[ $out =~ ^[0-9a-fA-F]+$ ]] && personality=$((0x$out))
  check "$tag Wine processes run without address randomization ($out)" test $((personality & 0x0040000)) != 0

  # Locale: code page 936 under the default LANG, 1252 under en_US.
  out=$(wine_run "$P" "$fx/acp.exe")
  check "$tag GetACP()==936 under LANG=${RIG_LANG:-zh_CN.UTF-8} ($out)" grep -q '^acp=936 ' <<<"$out"
  out=$(RIG_LANG=en_US.UTF-8 wine_run "$P" "$fx/acp.exe")
  check "$tag GetACP()==1252 under LANG=en_US.UTF-8 ($out)" grep -q '^acp=1252 ' <<<"$out"

  # Fonts: the face lib.sh gives the Chinese and dialog fonts is installed and has Chinese glyphs.
  check "$tag the font WenQuanYi Micro Hei draws Chinese" grep -qx 'WenQuanYi Micro Hei' \
    <(fc-list ':lang=zh-cn' family | tr ',' '\n')

  # info --xml through cmd.exe into a file: byte for byte the Linux tool's output in text mode.
  BAT_NAME=rig-info.bat
  rm -f "$W/rig-info.xml" "$W/rig-info.rc"
  write_bat '@echo off' "$bindir\\wimlib-imagex.exe info --xml T:\\img.wim > C:\\windows\\temp\\rig-info.xml" \
    'echo %ERRORLEVEL%> C:\windows\temp\rig-info.rc'
  wine_run "$P" cmd /c 'C:\windows\temp\rig-info.bat'
  check "$tag info --xml via cmd redirect: exit code 0" grep -qx '0' <(tr -d '\r ' <"$W/rig-info.rc" 2>/dev/null)
  check "$tag info --xml via cmd redirect: the Linux tool's bytes in text mode" cmp -s "$W/rig-info.xml" "$work/ref-info-text.xml"
  MORVANE_TOOL_RAW=1 wine_run "$P" cmd /c 'C:\windows\temp\rig-info.bat'
  check "$tag info --xml, MORVANE_TOOL_RAW=1: byte-identical to the Linux tool" cmp -s "$W/rig-info.xml" "$work/ref-info.xml"
  BAT_NAME=rig-extract.bat
  rm -f "$W/rig-extract.xml"
  write_bat '@echo off' "$bindir\\wimlib-imagex.exe info T:\\img.wim --extract-xml C:\\windows\\temp\\rig-extract.xml >nul"
  wine_run "$P" cmd /c 'C:\windows\temp\rig-extract.bat'
  check "$tag info --extract-xml: the stored bytes, not in text mode" cmp -s "$W/rig-extract.xml" "$work/ref-info.xml"

  # The same through an 8.3 path of a file with a blank and Chinese in its name.
  local short
  short=$(wine_run "$P" "$fx/acp.exe" --short 'T:\dir with space\测试 镜像.wim')
  check "$tag GetShortPathNameW gives a path without blanks ($short)" test -n "$short" -a "${short//[ ]/}" = "$short"
  BAT_NAME=rig-short.bat
  rm -f "$W/rig-short.xml"
  write_bat '@echo off' "$bindir\\wimlib-imagex.exe info --xml $short > C:\\windows\\temp\\rig-short.xml"
  wine_run "$P" cmd /c 'C:\windows\temp\rig-short.bat'
  check "$tag info --xml of the 8.3 path: byte-identical" cmp -s "$W/rig-short.xml" "$work/ref-info-text.xml"

  # apply onto a mapped drive that already holds a file.
  BAT_NAME=rig-apply.bat
  rm -f "$W/rig-apply.xml" "$W/rig-apply.rc"
  write_bat '@echo off' "$bindir\\wimlib-imagex.exe apply $short 1 U:\\ > C:\\windows\\temp\\rig-apply.xml" \
    'echo %ERRORLEVEL%> C:\windows\temp\rig-apply.rc'
  wine_run "$P" cmd /c 'C:\windows\temp\rig-apply.bat'
  check "$tag apply: exit code 0" grep -qx '0' <(tr -d '\r ' <"$W/rig-apply.rc" 2>/dev/null)
  check "$tag apply: the files arrived" diff -r -x keep.txt "$src" "$U"
  check "$tag apply: a file already on the target stays" test -f "$U/keep.txt"
  check "$tag apply: output ends with the done line" test "$(tail -c 26 "$W/rig-apply.xml" 2>/dev/null | tr -d '\r')" = "Done applying WIM image."
  check "$tag apply: reports begin with CR" grep -q $'\rExtracting file data: ' "$W/rig-apply.xml"

  # Test modes of the wrapper.
  local exe=$app/$binname/wimlib-imagex.exe
  # The real tool's own failure: its message reaches standard error (as in an apply.err), in text mode.
  wine_run "$P" "$exe" info 'T:\none.wim' >"$work/o.txt" 2>"$work/e.txt"
  rc=$?
  check "$tag real tool failing: exit $rc, its [ERROR] line on stderr with CRLF" \
    test $rc != 0 -a "$(grep -c $'\[ERROR\] .*none\.wim.*\r$' "$work/e.txt")" = 1
  MORVANE_TOOL_MODE=fail wine_run "$P" "$exe" info --xml 'T:\img.wim' >"$work/o.txt" 2>"$work/e.txt"
  rc=$?
  check "$tag mode fail: exit 47, [ERROR] on stderr, nothing on stdout" \
    test $rc = 47 -a ! -s "$work/o.txt" -a "$(grep -c '\[ERROR\] Can.t open "T:\\img.wim"' "$work/e.txt")" = 1
  t0=$(date +%s%N)
  MORVANE_TOOL_MODE=die wine_run "$P" "$exe" apply 'T:\img.wim' 1 'U:\' >"$work/o.txt" 2>/dev/null
  rc=$?
  local ms=$((($(date +%s%N) - t0) / 1000000))
  check "$tag mode die: exit 3 after ~1 s of reports, no done line (${ms} ms)" \
    test $rc = 3 -a $ms -ge 1000 -a "$(grep -c 'Done applying' "$work/o.txt")" = 0 -a "$(grep -c $'\rExtracting' "$work/o.txt")" = 1
  MORVANE_TOOL_MODE=garbage wine_run "$P" "$exe" apply 'T:\img.wim' 1 'U:\' >"$work/o.txt" 2>/dev/null
  rc=$?
  check "$tag mode garbage: exit 0 with bytes" test $rc = 0 -a "$(stat -c %s "$work/o.txt")" -ge 4096
  local tr_dos
  tr_dos=$(wine_dos_path "$P" "$fx/transcripts/windows-three-stage.txt")
  MORVANE_TOOL_MODE=transcript MORVANE_TOOL_TRANSCRIPT=$tr_dos MORVANE_TOOL_TRANSCRIPT_MS=2 \
    wine_run "$P" "$exe" apply 'T:\img.wim' 1 'U:\' >"$work/o.txt" 2>"$work/e.txt"
  rc=$?
  check "$tag mode transcript: exit 0, the transcript byte for byte" \
    test $rc = 0 -a "$(perl -pe 's/\n/\r\n/g' "$fx/transcripts/windows-three-stage.txt" | cmp -s "$work/o.txt" - && echo same)" = same
  MORVANE_TOOL_MODE=transcript wine_run "$P" "$exe" info --xml 'T:\img.wim' >"$work/o.txt" 2>/dev/null
  check "$tag mode transcript: info still goes to the real tool" cmp -s "$work/o.txt" "$work/ref-info-text.xml"

  # Stand-ins: the log, the wipe, the failures, the native shutdown.exe.
  BAT_NAME=rig-standin.bat
  rm -f "$W/rig-standin.log"
  write_bat '@echo off' \
    'format.com U: /FS:NTFS /Q /Y /V:系统' 'echo format=%ERRORLEVEL%' \
    'C:\Morvane\Bin\bcdboot.exe C:\Windows /s C: /l zh-cn' 'echo bcdboot=%ERRORLEVEL%' \
    'C:\Morvane\Bin\bootsect.exe /nt60 C: /mbr' 'echo bootsect=%ERRORLEVEL%' \
    'shutdown.exe -r -t 0' 'echo shutdown=%ERRORLEVEL%' \
    '%windir%\system32\format.com C: /q'
  out=$(MORVANE_STANDIN_LOG='C:\windows\temp\rig-standin.log' MORVANE_STANDIN_WIPE=1 \
    MORVANE_STANDIN_FAIL=bcdboot.exe wine_run "$P" cmd /c 'C:\windows\temp\rig-standin.bat' | tr -d '\r')
  printf 'format.com U: /FS:NTFS /Q /Y /V:系统\r\nbcdboot.exe C:\\Windows /s C: /l zh-cn\r\nbootsect.exe /nt60 C: /mbr\r\nshutdown.exe -r -t 0\r\nformat.com C: /q\r\n' >"$work/want.log"
  check "$tag stand-ins: the log holds each command line (UTF-8, CRLF)" cmp -s "$W/rig-standin.log" "$work/want.log"
  check "$tag stand-ins: exit codes (bcdboot listed to fail)" \
    test "$(tr '\n' ' ' <<<"$out")" = "format=0 bcdboot=1 bootsect=0 shutdown=0 "
  check "$tag stand-ins: format.com emptied U:" test -z "$(ls -A "$U")"
  check "$tag stand-ins: format.com left C: alone" test -d "$P/drive_c/windows/system32"
  t0=$(date +%s%N)
  MORVANE_STANDIN_DELAY_MS=format.com=1200 wine_run "$P" 'C:\windows\system32\format.com' 'T:'
  ms=$((($(date +%s%N) - t0) / 1000000))
  check "$tag stand-ins: MORVANE_STANDIN_DELAY_MS (${ms} ms) and no wipe without MORVANE_STANDIN_WIPE" \
    test $ms -ge 1200 -a -f "$work/T/img.wim"

  # Drive letters: R: is removable in the rig's prefixes; a letter made to stand for a folder, as
  # subst makes it, reads so in the processes started later (while the wine server lives).
  check "$tag R: is a removable drive" grep -qE '^2 +R:' \
    <(wine_run "$P" wmic logicaldisk get name,drivetype 2>/dev/null | iconv -f UTF-16LE -t UTF-8)
  install -m 0755 "$fx/standin.exe" "$app/Bin/subst.exe"
  wine_run "$P" "$app/Bin/subst.exe" U: 'T:\images'
  out=$(wine_run "$P" "$app/Bin/subst.exe" | tr -d '\r')
  check "$tag subst U: T:\\images, then QueryDosDeviceW in another process ($out)" \
    test "$out" = 'U:\: => T:\images'

  xvfb_stop

  wine_server_kill "$P"
}

run_arch x64 win64 "$FX"
if [ -n "$FX86" ]; then
  run_arch x86 win32 "$FX86"
else
  skip "[x86/win32] no x86 fixtures given (second argument)"
fi

if [ $fails -gt 0 ]; then
  echo "rig self test: $fails FAILED"
  exit 1
fi
echo "rig self test: all passed"

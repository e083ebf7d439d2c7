#!/usr/bin/env bash
# Runs the Windows-side test suite of one build under Wine, in a sandbox: a prefix with drive
# letters mapped to temporary folders, the program in a folder whose name has a blank, the real
# image tool behind the wrapper fixture, stand-ins for the Windows tools.
#   tests/wine/run.sh RUN BUILD_DIR [gtest args...]
# RUN is x64 or x86 (the whole suite, with that build's program), or one of the focused runs, each
# with a few tests of its own unless gtest args are given:
#   x64-xp      the x64 program on a 64-bit prefix that reports Windows XP x64 (version 5.2)
#   x86-xp      the x86 program on a 32-bit prefix that reports Windows XP (version 5.1)
#   x86-wow64   the x86 program on a 64-bit prefix (BUILD_DIR the x86 build; the Bin64 image tool
#               from build/x64 when it is there)
#   x64-dpi144  the x64 program on a prefix whose screen has 144 dots per inch
# Exits 77 (skipped) when this machine cannot run the run's programs. Prefixes are kept in
# $MORVANE_PREFIX_DIR (default build/wine-prefixes), screenshots go to $MORVANE_SHOT_DIR (default
# BUILD_DIR/screenshots).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/lib.sh"

variant='' prefix_arch=win64 screen=1024x768
# The focused runs' tests: the system version and the taskbar object, a whole installation.
whole='InProcessWindow.TheTaskbar*:*EndToEnd.*Ok'
case ${1:-} in
  x64 | x86) arch=$1 ;;
  x64-xp) arch=x64 variant=winxp64 filter="$whole:*EndToEnd.*Version5" ;;
  x86-xp) arch=x86 variant=winxp prefix_arch=win32 filter="$whole:*EndToEnd.*Version5" ;;
  x86-wow64) arch=x86 variant=wow64 filter=$whole ;;
  # A screen for 150 %: at 144 dpi the expanded window is 649 pixels high.
  x64-dpi144) arch=x64 variant=dpi144 screen=1536x1152 filter='AppWindow.AMaximise*' ;;
  *) echo "usage: $0 x64|x86|x64-xp|x86-xp|x86-wow64|x64-dpi144 BUILD_DIR [gtest args...]"; exit 2 ;;
esac
run=$1
build=$(cd "${2:?BUILD_DIR}" && pwd) || exit 2
shift 2
if ! wine_can_run "$arch"; then
  [ "$arch" = x64 ] || why=": the kernel runs no 32-bit code, or wine32 is missing (x86 programs need the 32-bit loader, on a 64-bit prefix too)"
  echo "SKIP: Wine cannot run $arch programs on this machine${why:-}" && exit 77
fi
[ -z "$variant" ] || [ $# -gt 0 ] || set -- "--gtest_filter=$filter"
exe=$root/dist/$arch/MorvaneSetup.exe fx=$build/fixtures
for f in "$exe" "$build/wine_tests.exe" "$fx/standin.exe" "$fx/wimlib-imagex.exe"; do [ -f "$f" ] || { echo "missing $f"; exit 2; }; done
# The tools of a 64-bit system: the x64 fixtures where they are built (as on a real medium, Bin64
# holds the 64-bit image tool), else this build's.
fx64=$fx
[ "$variant" = wow64 ] && [ -f "$root/build/x64/fixtures/wimlib-imagex.exe" ] && fx64=$root/build/x64/fixtures

pv=${variant/wow64/}
export RIG_DESKTOP=$screen
prefix=$(realpath -m "${MORVANE_PREFIX_DIR:-$root/build/wine-prefixes}")/$prefix_arch${pv:+-$pv}
wine_prefix_make "$prefix" $prefix_arch $pv || exit 2
work=$(mktemp -d /tmp/morvane-wine.XXXXXX)
c=$prefix/drive_c
shots=${MORVANE_SHOT_DIR:-$build/screenshots}
trap 'wine_server_kill "$prefix"; for d in s t b x y p r u; do wine_unmap_drive "$prefix" $d; done
  xvfb_stop; rm -rf "$work" "$c/Morvane "* "$c/Tools Probe" "$c/fakewin"*' EXIT

# Drives: S: the images, T: the target, B: the boot drive, X: a preinstallation drive with a
# Windows folder of its own (never to be listed), Y: the screenshots, R: a removable drive (the
# prefix's setting), P: a drive holding only a program folder, U: the folder T:\images, as
# "subst U: T:\images" shows it (Wine opens its files through this link; a test makes the alias
# itself with AliasDrive, and makes T:\images again after a format has wiped T:).
mkdir -p "$work"/{s,t/images,b,x/Windows,y,r,p} "$shots"
bash "$here/make_images.sh" "$work/s" || exit 2
printf 'old data\n' >"$work/t/left-over.txt"
for d in s t b x r p; do wine_map_drive "$prefix" $d "$work/$d"; done
wine_map_drive "$prefix" u "$work/t/images"
wine_map_drive "$prefix" y "$shots"

# The program folder, with an image beside it for a path typed relative to it. In the x86-wow64 run
# the image tool can only come from Bin64 and format.com only from the System32 the program sees
# (syswow64).
app=$c/'Morvane Tools'
rm -rf "$c/Morvane "*
mkdir -p "$app/images"
cp "$exe" "$app/MorvaneSetup.exe"
cp "$work/s/small.wim" "$app/images/"
cp "$fx/transcripts/windows-three-stage.txt" "$app/"
install_tools "$app" "$fx64" "$fx" && install_standins "$prefix" "$fx64" "$fx" || exit 2
[ "$variant" != wow64 ] || rm -f "$app/Bin/wimlib-imagex.exe" "$c/windows/system32/format.com"
# For the fault matrix: program folders without the image tool, without the boot tools, one whose
# bootsect.exe is an ARM64 program (its COFF machine field patched), one on a drive of its own (P:),
# and one with the tool in Bin only (the probe). Windows folders: two told apart by SysWOW64, a 64-bit one without WoW64 that takes a
# whole installation and its restart, one without format.com, one with a plain file where Temp
# belongs, one whose Temp may go away, one whose Temp the matrix makes hidden and system, and one
# whose name has a letter outside ASCII, for the runs under an English locale.
for d in "$c/Morvane NoTool" "$c/Morvane NoBoot" "$c/Morvane ArmBoot" "$work/p" "$c/Tools Probe"; do
  mkdir -p "$d" && cp "$exe" "$d/MorvaneSetup.exe" && install_tools "$d" "$fx" || exit 2
done
rm -rf "$c/Morvane NoTool"/Bin*/wimlib-imagex.exe "$c/Morvane NoBoot/Bin/b"*.exe "$c/Tools Probe/Bin64" \
  "$c/Tools Probe/Bin/"{bcdboot,bootsect}.exe
off=$(od -An -t u4 -j 60 -N 4 "$c/Morvane ArmBoot/Bin/bootsect.exe")
printf '\x64\xaa' | dd of="$c/Morvane ArmBoot/Bin/bootsect.exe" bs=1 seek=$((off + 4)) conv=notrunc status=none
mkdir -p "$c/fakewin-"{wow,noformat,plain,vanish,hiddentemp,café}/Temp "$c/fakewin-wow/SysWOW64" \
  "$c/fakewin-noformat/System32" "$c/fakewin-filetemp"
for f in {plain,vanish,hiddentemp,café}/System32/format.com plain/System32/shutdown.exe; do install -D "$fx/standin.exe" "$c/fakewin-$f"; done
printf 'not a folder\r\n' >"$c/fakewin-filetemp/Temp"

export MORVANE_EXE='C:\Morvane Tools\MorvaneSetup.exe' MORVANE_PROBE_EXE='C:\Tools Probe\MorvaneSetup.exe'
export MORVANE_NOTOOL_EXE='C:\Morvane NoTool\MorvaneSetup.exe' MORVANE_NOBOOT_EXE='C:\Morvane NoBoot\MorvaneSetup.exe'
export MORVANE_ARMBOOT_EXE='C:\Morvane ArmBoot\MorvaneSetup.exe'
export MORVANE_DRIVE_P_EXE='P:\MorvaneSetup.exe' MORVANE_WINDIR_PLAIN='C:\fakewin-plain' MORVANE_WINDIR_WOW='C:\fakewin-wow'
export MORVANE_WINDIR_NOFORMAT='C:\fakewin-noformat' MORVANE_WINDIR_FILETEMP='C:\fakewin-filetemp'
export MORVANE_WINDIR_VANISH='C:\fakewin-vanish' MORVANE_WINDIR_HIDDENTEMP='C:\fakewin-hiddentemp'
export MORVANE_WINDIR_ACCENT='C:\fakewin-café' MORVANE_MATRIX='S:\matrix' MORVANE_ARCH=$arch
export MORVANE_IMAGE='S:\img & dir\three.wim' MORVANE_SMALL_IMAGE='S:\small.wim' MORVANE_SOURCE_DIR='S:\small-src'
export MORVANE_TARGET='T:' MORVANE_BOOT='B:' MORVANE_SHOTS='Y:' MORVANE_STANDIN_LOG='C:\morvane-standin.log'
export MORVANE_STANDIN_WIPE=1 MORVANE_TRANSCRIPT='C:\Morvane Tools\windows-three-stage.txt'
case $variant in winxp*) export MORVANE_SYSVER=5 ;; esac

xvfb_start "${screen}x24" || exit 2
# The facts of the rig the suite depends on and no row would notice if they stopped holding (the
# rows would pass, testing something else than the users' world): a program Wine started runs
# without address randomization (lib.sh); code page 936 under the default locale; the face given to
# the Chinese UI fonts is installed; R: is removable; the wrapper hands on the real tool's standard
# output and error in text mode (each 0x0A byte as 0x0D 0x0A), as the Windows build writes them.
rig_fails=0
rig() { if "${@:2}"; then echo "rig: ok: $1"; else echo "rig: FAILED: $1"; rig_fails=$((rig_fails + 1)); fi; }
out=$(wine_run "$prefix" cmd /c 'cmd /c type Z:\proc\self\personality' | tr -d '\r')
[[ $out =~ ^[0-9a-fA-F]+$ ]] || out=0
rig "no address randomization (personality $out)" test $((0x$out & 0x0040000)) != 0
rig "cmd writes 中文 in GBK" test "$(wine_run "$prefix" cmd /c echo 中文 | tr -d '\r' | iconv -f GBK -t UTF-8)" = 中文
rig "WenQuanYi Micro Hei draws Chinese" grep -qx 'WenQuanYi Micro Hei' <(fc-list ':lang=zh-cn' family | tr ',' '\n')
rig "R: is removable" grep -qE '^2 +R:' <(wine_run "$prefix" wmic logicaldisk get name,drivetype | iconv -f UTF-16LE -t UTF-8)
wine_run "$prefix" "$app/Bin64/wimlib-imagex.exe" info --xml 'S:\small.wim' >"$work/info.xml"
rig "the wrapper's info --xml in text mode" cmp -s "$work/info.xml" <(wimlib-imagex info --xml "$work/s/small.wim" | perl -pe 's/\n/\r\n/g')
wine_run "$prefix" "$app/Bin64/wimlib-imagex.exe" info 'S:\none.wim' >"$work/out.txt" 2>"$work/err.txt"
rc=$?
rig "the wrapper's failure: exit $rc, its [ERROR] line on standard error with CRLF" \
  test $rc != 0 -a ! -s "$work/out.txt" -a "$(grep -c $'\\[ERROR\\] .*none\\.wim.*\r$' "$work/err.txt")" = 1
[ $rig_fails = 0 ] || exit 1
cp "$build/wine_tests.exe" "$work/"
# Wine takes a program's code pages from the Unix locale it starts under: the rows that need an
# English system (ANSI 1252, OEM 437) run in a pass of their own under LANG=en_US.UTF-8, and only
# there: the tests a filter selects are split between the two passes by name.
whole_suite=$(($# == 0)) filter='*' others=()
for a in "$@"; do case $a in --gtest_filter=*) filter=${a#--gtest_filter=} ;; *) others+=("$a") ;; esac; done
english=$(wine_run "$prefix" "$work/wine_tests.exe" --gtest_list_tests "--gtest_filter=$filter" |
  tr -d '\r' | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }' | grep English | paste -sd:)
case $filter in *-*) filter="$filter:*English*" ;; *) filter="$filter-*English*" ;; esac
export RIG_TIMEOUT=${RIG_TIMEOUT:-900}
wine_run "$prefix" "$work/wine_tests.exe" --gtest_color=no "${others[@]}" "--gtest_filter=$filter"
rc=$?
[ -z "$english" ] || RIG_LANG=en_US.UTF-8 wine_run "$prefix" "$work/wine_tests.exe" --gtest_color=no "${others[@]}" \
  "--gtest_filter=$english" || rc=1
# The resources of the x86 program are read back here too, even where it cannot run.
if [ "$run" = x64 ] && [ -f "$root/dist/x86/MorvaneSetup.exe" ] && [ "$whole_suite" = 1 ]; then
  cp "$root/dist/x86/MorvaneSetup.exe" "$app/MorvaneSetup-x86.exe"
  MORVANE_EXE='C:\Morvane Tools\MorvaneSetup-x86.exe' MORVANE_ARCH=x86 \
    wine_run "$prefix" "$work/wine_tests.exe" --gtest_color=no --gtest_filter='ProgramResources*' || rc=1
fi
for bmp in "$shots"/*.bmp; do [ ! -f "$bmp" ] || { convert "$bmp" "${bmp%.bmp}-$run.png" && rm -f "$bmp"; }; done
exit $rc

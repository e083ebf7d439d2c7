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
# Exits 77 (skipped) when this machine cannot run the run's programs. Screenshots go to
# $MORVANE_SHOT_DIR (default BUILD_DIR/screenshots).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/lib.sh"

run=$1
build=$(cd "$2" && pwd)
shift 2
variant=
prefix_arch=win64
# The focused runs' tests: the system version and the taskbar object, a whole installation.
whole='InProcessWindow.TheTaskbar*:*EndToEnd.*Ok'
case "$run" in
  x64 | x86) arch=$run ;;
  x64-xp) arch=x64 variant=winxp64 filter="$whole:*EndToEnd.*Version5" ;;
  x86-xp) arch=x86 variant=winxp prefix_arch=win32 filter="$whole:*EndToEnd.*Version5" ;;
  x86-wow64) arch=x86 variant=wow64 filter=$whole ;;
  x64-dpi144) arch=x64 variant=dpi144 filter='AppWindow.ControlsSit*:AppWindow.AMaximise*:InProcessWindow.EveryCaption*' ;;
  *) echo "usage: $0 x64|x86|x64-xp|x86-xp|x86-wow64|x64-dpi144 BUILD_DIR [gtest args...]"; exit 2 ;;
esac
if ! wine_can_run "$arch"; then
  if [ "$variant" = wow64 ]; then
    echo "SKIP: this machine cannot run 32-bit code, so neither can the 32-bit half of a 64-bit prefix"
  else
    echo "SKIP: this machine cannot run $arch Windows programs under Wine"
  fi
  exit 77
fi
if [ -n "$variant" ] && [ $# -eq 0 ]; then
  set -- "--gtest_filter=$filter"
fi
exe="$root/dist/$arch/MorvaneSetup.exe"
tests="$build/wine_tests.exe"
fx="$build/fixtures"
for f in "$exe" "$tests" "$fx/standin.exe" "$fx/wimlib-imagex.exe"; do
  [ -f "$f" ] || { echo "missing $f"; exit 2; }
done
# The tools of a 64-bit system: the x64 fixtures where they are built (as on a real medium, Bin64
# holds the 64-bit image tool), else this build's.
fx64=$fx
[ "$variant" = wow64 ] && [ -f "$root/build/x64/fixtures/wimlib-imagex.exe" ] && fx64=$root/build/x64/fixtures

prefix_variant=
case "$variant" in winxp | winxp64 | dpi144) prefix_variant=$variant ;; esac
# A screen for 150 %: the 1024 x 768 of the other runs, scaled (at 144 dpi the expanded window is
# 649 pixels high and would reach past the bottom of a 768-pixel screen).
screen=1024x768
[ "$variant" = dpi144 ] && screen=1536x1152 && export RIG_DESKTOP=$screen
prefix=${MORVANE_PREFIX_DIR:-$root/build/wine-prefixes}/$prefix_arch${prefix_variant:+-$prefix_variant}
wine_prefix_make "$prefix" $prefix_arch $prefix_variant || exit 2
work=$(mktemp -d /tmp/morvane-wine.XXXXXX)
shots=${MORVANE_SHOT_DIR:-$build/screenshots}
mkdir -p "$shots"
cleanup() {
  wine_server_kill "$prefix"
  for d in s t b x y p r u; do wine_unmap_drive "$prefix" $d; done
  xvfb_stop
  rm -rf "$work" "$prefix/drive_c/Morvane Tools" "$prefix/drive_c/Tools Probe" "$prefix/drive_c/fakewin"* \
    "$prefix/drive_c/Morvane NoTool" "$prefix/drive_c/Morvane NoBoot" "$prefix/drive_c/Morvane Spare" \
    "$prefix/drive_c/Morvane ArmBoot"
}
trap cleanup EXIT

# Drives: S: the images, T: the target, B: the boot drive, X: a preinstallation drive with a
# Windows folder of its own (never to be listed), Y: the screenshots, R: a removable drive (the
# prefix's setting), U: the folder T:\images, as "subst U: T:\images" shows it (Wine opens its files
# through this link; a test makes the alias itself with AliasDrive, and makes T:\images again after
# a format has wiped T:).
mkdir -p "$work"/{s,t/images,b,x/Windows,y,r}
bash "$here/make_images.sh" "$work/s" || exit 2
printf 'old data\n' >"$work/t/left-over.txt"
for d in s t b x r; do wine_map_drive "$prefix" $d "$work/$d"; done
wine_map_drive "$prefix" u "$work/t/images"
wine_map_drive "$prefix" y "$shots"

app="$prefix/drive_c/Morvane Tools"
rm -rf "$app"
mkdir -p "$app"
cp "$exe" "$app/MorvaneSetup.exe"
install_tools "$app" "$fx64" "$fx" || exit 2
install_standins "$prefix" "$fx64" "$fx" || exit 2
if [ "$variant" = wow64 ]; then
  # A 32-bit program on a 64-bit system: its image tool must come from Bin64 and its format.com from
  # the System32 it sees (syswow64). Neither has a second copy it could take by mistake.
  rm -f "$app/Bin/wimlib-imagex.exe" "$prefix/drive_c/windows/system32/format.com"
fi
# An image beside the program, for a path typed relative to the program's folder.
mkdir -p "$app/images"
cp "$work/s/small.wim" "$app/images/"
# A program folder with the tool in Bin only, and two Windows folders told apart by SysWOW64.
probe="$prefix/drive_c/Tools Probe"
mkdir -p "$probe/Bin" "$prefix/drive_c/fakewin-plain/Temp" "$prefix/drive_c/fakewin-wow/Temp" \
  "$prefix/drive_c/fakewin-wow/SysWOW64"
cp "$exe" "$probe/MorvaneSetup.exe"
cp "$fx/wimlib-imagex.exe" "$fx/wimlib-run.sh" "$probe/Bin/"
# For the fault matrix: program folders without the image tool, without the boot tools, a whole
# spare one (its tool may be taken away during a run), one whose bootsect.exe is an ARM64 program,
# and one on a drive of its own (P:); Windows folders without format.com, with a plain file where
# Temp belongs, one whose Temp may go away, and one whose Temp the matrix makes hidden and system.
for kind in NoTool NoBoot Spare ArmBoot; do  # not $variant: the run's variant is read below
  d="$prefix/drive_c/Morvane $kind"
  rm -rf "$d"
  mkdir -p "$d"
  cp "$exe" "$d/MorvaneSetup.exe"
  install_tools "$d" "$fx" || exit 2
done
rm -f "$prefix/drive_c/Morvane NoTool"/Bin*/wimlib-imagex.exe
rm -f "$prefix/drive_c/Morvane NoBoot/Bin/bcdboot.exe" "$prefix/drive_c/Morvane NoBoot/Bin/bootsect.exe"
# A medium whose boot tools were built for ARM64.
pe_set_machine "$prefix/drive_c/Morvane ArmBoot/Bin/bootsect.exe" aa64 || exit 2
mkdir -p "$work/p"
cp "$exe" "$work/p/MorvaneSetup.exe"
install_tools "$work/p" "$fx" || exit 2
wine_map_drive "$prefix" p "$work/p"
mkdir -p "$prefix/drive_c/fakewin-noformat/Temp" "$prefix/drive_c/fakewin-noformat/System32" \
  "$prefix/drive_c/fakewin-filetemp"
printf 'not a folder\r\n' >"$prefix/drive_c/fakewin-filetemp/Temp"
for w in vanish hiddentemp plain; do
  mkdir -p "$prefix/drive_c/fakewin-$w/Temp" "$prefix/drive_c/fakewin-$w/System32"
  install -m 0755 "$fx/standin.exe" "$prefix/drive_c/fakewin-$w/System32/format.com"
done
# fakewin-plain, a 64-bit system without WoW64, takes a whole installation and its restart.
install -m 0755 "$fx/standin.exe" "$prefix/drive_c/fakewin-plain/System32/shutdown.exe"
# A Windows folder whose name has a letter outside ASCII, for the runs under an English locale.
mkdir -p "$prefix/drive_c/fakewin-café/Temp" "$prefix/drive_c/fakewin-café/System32"
install -m 0755 "$fx/standin.exe" "$prefix/drive_c/fakewin-café/System32/format.com"

export MORVANE_EXE='C:\Morvane Tools\MorvaneSetup.exe'
export MORVANE_PROBE_EXE='C:\Tools Probe\MorvaneSetup.exe'
export MORVANE_WINDIR_PLAIN='C:\fakewin-plain' MORVANE_WINDIR_WOW='C:\fakewin-wow'
export MORVANE_NOTOOL_EXE='C:\Morvane NoTool\MorvaneSetup.exe' MORVANE_NOBOOT_EXE='C:\Morvane NoBoot\MorvaneSetup.exe'
export MORVANE_SPARE_EXE='C:\Morvane Spare\MorvaneSetup.exe' MORVANE_DRIVE_P_EXE='P:\MorvaneSetup.exe'
export MORVANE_ARMBOOT_EXE='C:\Morvane ArmBoot\MorvaneSetup.exe'
export MORVANE_WINDIR_NOFORMAT='C:\fakewin-noformat' MORVANE_WINDIR_FILETEMP='C:\fakewin-filetemp'
export MORVANE_WINDIR_VANISH='C:\fakewin-vanish' MORVANE_WINDIR_HIDDENTEMP='C:\fakewin-hiddentemp'
export MORVANE_WINDIR_ACCENT='C:\fakewin-café'
export MORVANE_MATRIX='S:\matrix'
export MORVANE_ARCH=$arch
case "$variant" in winxp | winxp64) export MORVANE_SYSVER=5 ;; esac
export MORVANE_IMAGE='S:\img & dir\three.wim'
export MORVANE_SMALL_IMAGE='S:\small.wim' MORVANE_V5_IMAGE='S:\xp.wim'
export MORVANE_SOURCE_DIR='S:\small-src'
export MORVANE_FOLDER='S:\a folder.wim' MORVANE_HIDDEN_FILE='S:\.hidden.wim' MORVANE_MISSING_FILE='S:\none.wim'
export MORVANE_TARGET='T:' MORVANE_BOOT='B:'
export MORVANE_STANDIN_LOG='C:\morvane-standin.log'
export MORVANE_STANDIN_WIPE=1
export MORVANE_TRANSCRIPT='C:\Morvane Tools\windows-three-stage.txt'
export MORVANE_SHOTS='Y:'
export MORVANE_STANDIN='C:\Morvane Tools\Bin\bcdboot.exe'
cp "$fx/transcripts/windows-three-stage.txt" "$app/"

xvfb_start "${screen}x24" || exit 2
cp "$tests" "$work/wine_tests.exe"
# Wine takes a program's code pages from the Unix locale it starts under: the rows that need an
# English system (ANSI 1252, OEM 437) run in a pass of their own under LANG=en_US.UTF-8, and only
# there: the tests a filter selects are split between the two passes by name.
whole_suite=0
[ $# -eq 0 ] && whole_suite=1
filter='*'
others=()
for arg in "$@"; do
  case $arg in --gtest_filter=*) filter=${arg#--gtest_filter=} ;; *) others+=("$arg") ;; esac
done
english_tests=$(wine_run "$prefix" "$work/wine_tests.exe" --gtest_list_tests "--gtest_filter=$filter" |
  tr -d '\r' | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }' | grep English | paste -sd:)
case $filter in *-*) filter="$filter:*English*" ;; *) filter="$filter-*English*" ;; esac
RIG_TIMEOUT=${RIG_TIMEOUT:-900} wine_run "$prefix" "$work/wine_tests.exe" --gtest_color=no "${others[@]}" \
  "--gtest_filter=$filter"
rc=$?
if [ -n "$english_tests" ]; then
  RIG_LANG=en_US.UTF-8 RIG_TIMEOUT=${RIG_TIMEOUT:-900} wine_run "$prefix" "$work/wine_tests.exe" --gtest_color=no \
    "${others[@]}" "--gtest_filter=$english_tests" || rc=1
fi
# The resources of the x86 program are read back here too, even where it cannot run.
other="$root/dist/x86/MorvaneSetup.exe"
if [ "$run" = x64 ] && [ -f "$other" ] && [ $whole_suite = 1 ]; then
  cp "$other" "$work/MorvaneSetup-x86.exe"
  MORVANE_EXE="$(wine_dos_path "$prefix" "$work/MorvaneSetup-x86.exe")" MORVANE_ARCH=x86 \
    wine_run "$prefix" "$work/wine_tests.exe" --gtest_color=no --gtest_filter='ProgramResources*' || rc=1
fi
for bmp in "$shots"/*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}-$run.png" && rm -f "$bmp"
done
exit $rc

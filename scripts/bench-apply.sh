#!/usr/bin/env bash
# One image of incompressible data (256 MiB by default), made here, applied twice: once by the
# Linux image tool alone into an empty folder, and once through the program's window under Wine
# (the real tool behind the wrapper, the format and boot tools as instant stand-ins) onto a drive
# letter mapped to an empty folder beside it. Prints figures only; nothing here passes or fails on
# a time.
#
#   scripts/bench-apply.sh
#
# Printed: the wall time of the tool alone; the wall time through the program, from the
# confirmation answered OK to the completion box appearing; their ratio (goal: under 1.10); the
# delay from the end of the tool, as the wrapper's shell half notes it, to the completion box
# (goal: under 1.2 s); and how the program's time divides, from the moments the wrapper's shell
# half and the stand-ins note (MORVANE_TOOL_TIME_LOG, MORVANE_STANDIN_TIME_LOG): up to the format
# stand-in, its run, on to the tool's start (the batch, the command interpreter, the wrapper), the
# tool's run, on to the first boot tool (the wrapper noticing the end, the batch ending, the
# watch), the boot tools one after the other, and on to the box (the restart started, the box).
#
# Settings (environment, all optional):
#   BENCH_APPLY_MIB=N    size of the image's data in MiB (default 256; at least 200)
#   BENCH_BUILD=DIR      the x64 Windows build (default build/x64); configured here when it is not
#   BENCH_NO_BUILD=1     do not build the program, apply_bench and the fixtures first
#   MORVANE_PREFIX_DIR   where the rig keeps its prefixes (default build/wine-prefixes); this script
#                        uses its own prefix bench-win64 there, shared with bench-shellwait.sh under
#                        a lock
# Everything made here lives in one folder under /tmp and is removed at the end.
# Exits 77 when this machine cannot run x64 Windows programs under Wine.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tests/wine/lib.sh"
export RIG_QUIET=${RIG_QUIET:-1}

build=${BENCH_BUILD:-$root/build/x64}
mib=${BENCH_APPLY_MIB:-256}

die() {
  echo "bench-apply.sh: $*" >&2
  exit 2
}

if ! [[ "$mib" =~ ^[0-9]+$ ]] || [ "$mib" -lt 200 ]; then die "BENCH_APPLY_MIB must be a number of at least 200"; fi
command -v wimlib-imagex >/dev/null || die "no wimlib-imagex (Debian: wimtools)"
if ! wine_can_run x64; then
  echo "SKIP: this machine cannot run x64 Windows programs under Wine"
  exit 77
fi

if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x64.cmake" -DCMAKE_BUILD_TYPE=Release \
      --no-warn-unused-cli >/dev/null || die "cannot configure $build"
  fi
  cmake --build "$build" -j "$(nproc)" --target apply_bench fixtures >/dev/null || die "the build failed"
  # The program has a build tree of its own (win32 thread model).
  if [ ! -f "$root/build/x64-app/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$root/build/x64-app" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x64.cmake" -DMORVANE_THREADS=win32 \
      -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli >/dev/null || die "cannot configure build/x64-app"
  fi
  cmake --build "$root/build/x64-app" -j "$(nproc)" --target MorvaneSetup >/dev/null || die "the build failed"
fi
exe=$root/dist/x64/MorvaneSetup.exe
fx=$build/fixtures
for f in "$exe" "$build/bench/apply_bench.exe" "$fx/standin.exe" "$fx/wimlib-imagex.exe" "$fx/wimlib-run.sh"; do
  [ -f "$f" ] || die "missing $f"
done

work=$(mktemp -d /tmp/morvane-bench-apply.XXXXXX)
prefix=${MORVANE_PREFIX_DIR:-$root/build/wine-prefixes}/bench-win64
locked=0
cleanup() {
  if [ $locked = 1 ]; then
    wine_server_kill "$prefix"
    for d in s t b; do wine_unmap_drive "$prefix" $d; done
    rm -rf "$prefix/drive_c/Morvane Tools" "$prefix/drive_c/morvane-bench-standin-times.txt"
  fi
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

now() { date +%s.%N; }
say() { printf '%s\n' "$*"; }

# --- the image -----------------------------------------------------------------------------------
# A Windows-like tree: a few small files where the program looks (a Windows folder), 4 KiB files in
# bulk, and the rest in 16 MiB files, all from /dev/urandom, so that nothing compresses.
src=$work/src
mkdir -p "$src/Windows/System32/config" "$src/Windows/System32/drivers" "$src/Program Files/App" \
  "$src/Users/Public" "$work/s" "$work/t" "$work/b" "$work/alone"
printf 'MZ fake kernel\r\n' >"$src/Windows/System32/ntoskrnl.exe"
printf 'registry hive\n' >"$src/Windows/System32/config/SYSTEM"
printf 'readme\n' >"$src/Program Files/App/read me.txt"
head -c $((2 << 20)) /dev/urandom | split -b 4096 -a 3 - "$src/Windows/System32/drivers/drv"
head -c $(((mib - 2) << 20)) /dev/urandom | split -b $((16 << 20)) -a 2 - "$src/Program Files/App/data"
image=$work/s/bench.wim
say "Making a $mib MiB image of random data..."
wimlib-imagex capture "$src" "$image" "Bench" "Bench image" >/dev/null || die "capture failed"
wimlib-imagex info "$image" 1 --image-property DISPLAYNAME="Bench image" \
  --image-property WINDOWS/VERSION/MAJOR=10 >/dev/null || die "cannot set the image's properties"
files=$(find "$src" -type f | wc -l)
data=$(du -sb "$src" | cut -f1)
rm -rf "$src"
say "  $(($(stat -c %s "$image") >> 20)) MiB in $(basename "$image"), $files files, $((data >> 20)) MiB of data"

# Before each apply: the image in the page cache, the disk quiet.
settle() {
  cat "$image" >/dev/null
  sync
  sleep 1
}

# --- the tool alone ------------------------------------------------------------------------------
settle
t0=$(now)
WIMLIB_IMAGEX_USE_UTF8=1 wimlib-imagex apply "$image" 1 "$work/alone/" >"$work/alone.out" 2>"$work/alone.err"
rc=$?
t1=$(now)
[ $rc = 0 ] || die "wimlib-imagex apply alone failed ($rc): $(tail -n 3 "$work/alone.err")"
alone_bytes=$(du -sb "$work/alone" | cut -f1)
rm -rf "$work/alone"

# --- through the program -------------------------------------------------------------------------
mkdir -p "$(dirname "$prefix")"
# One bench at a time in the bench prefix: each ends its prefix's server when it is done. The
# programs started here do not get the lock's descriptor (9>&-), or a leftover would hold it.
exec 9>"$prefix.lock"
flock -w 900 9 || die "the bench prefix $prefix stays locked"
locked=1
wine_prefix_make "$prefix" win64 9>&- || die "cannot make the prefix $prefix"
for d in s t b; do wine_map_drive "$prefix" $d "$work/$d" || die "cannot map $d:"; done
app="$prefix/drive_c/Morvane Tools"
rm -rf "$app"
mkdir -p "$app"
cp "$exe" "$app/MorvaneSetup.exe"
install_tools "$app" "$fx" || die "cannot lay out the tools"
install_standins "$prefix" "$fx" || die "cannot install the stand-ins"
cp "$build/bench/apply_bench.exe" "$work/apply_bench.exe"
xvfb_start 9>&- || die "Xvfb did not start"

export MORVANE_EXE='C:\Morvane Tools\MorvaneSetup.exe'
export MORVANE_BENCH_IMAGE='S:\bench.wim' MORVANE_TARGET='T:' MORVANE_BOOT='B:'
export MORVANE_TOOL_TIME_LOG=$work/tool-times
export MORVANE_STANDIN_TIME_LOG='C:\morvane-bench-standin-times.txt'
standin_times="$prefix/drive_c/morvane-bench-standin-times.txt"
unset MORVANE_STANDIN_DELAY_MS MORVANE_STANDIN_FAIL MORVANE_STANDIN_WIPE MORVANE_STANDIN_LOG MORVANE_TOOL_MODE
: >"$MORVANE_TOOL_TIME_LOG"
rm -f "$standin_times"
settle
RIG_TIMEOUT=1500 wine_run "$prefix" "$work/apply_bench.exe" --gtest_color=no --gtest_brief=1 \
  --gtest_filter='ApplyBench.*' >"$work/driver.out" 2>&1 9>&-
rc=$?
bench_value() { grep "^apply-bench: $1=" "$work/driver.out" | tail -n 1 | cut -d= -f2- | tr -d '\r'; }
confirmed=$(bench_value confirmed)
box=$(bench_value box)
if [ $rc != 0 ] || [ -z "$confirmed" ] || [ -z "$box" ]; then
  cat "$work/driver.out" >&2
  die "the run through the program failed ($rc)"
fi
read -r _ tool_start tool_end tool_rc < <(grep '^apply ' "$MORVANE_TOOL_TIME_LOG" | tail -n 1)
[ -n "${tool_end:-}" ] || die "the wrapper noted no apply in $MORVANE_TOOL_TIME_LOG"
[ "$tool_rc" = 0 ] || die "the tool failed under the program ($tool_rc)"
program_bytes=$(du -sb "$work/t" | cut -f1)

# --- the figures ---------------------------------------------------------------------------------
say "Applied $((alone_bytes >> 20)) MiB by the tool alone, $((program_bytes >> 20)) MiB through the program" \
  "($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
tr -d '\r' <"$standin_times" 2>/dev/null |
  awk -v t0="$t0" -v t1="$t1" -v c="$confirmed" -v b="$box" -v s="$tool_start" -v e="$tool_end" '
  # Stand-in lines: ROLE START END, in the order they ended.
  $1 == "format.com" { fs = $2; fe = $3 }
  $1 == "bcdboot.exe" || $1 == "bootsect.exe" {
    if (!boots) bs = $2
    if (boots) gaps += $2 - be
    be = $3
    boots++
  }
  END {
    alone = t1 - t0
    program = b - c
    printf "  tool alone (Linux)                   %7.3f s\n", alone
    printf "  through the program (OK to box)      %7.3f s\n", program
    printf "  ratio                                %7.3f     (goal: under 1.10)\n", program / alone
    printf "  delay, tool end to completion box    %7.3f s   (goal: under 1.2 s)\n", b - e
    printf "  where the program time goes:\n"
    if (fs) {
      printf "    OK to format stand-in running      %7.3f s\n", fs - c
      printf "    format stand-in                    %7.3f s\n", fe - fs
      printf "    format end to tool start           %7.3f s   (batch, command interpreter, wrapper)\n", s - fe
    } else {
      printf "    OK to tool start                   %7.3f s\n", s - c
    }
    printf "    the tool                           %7.3f s\n", e - s
    if (boots) {
      printf "    tool end to first boot tool        %7.3f s   (wrapper, batch end, watch, start of the stand-in)\n", bs - e
      printf "    boot tools, %d runs                 %7.3f s   (%.3f s between one ending and the next running)\n", boots, be - bs, (boots > 1 ? gaps / (boots - 1) : 0)
      printf "    last boot tool to box              %7.3f s   (restart started, box)\n", b - be
    } else {
      printf "    tool end to box                    %7.3f s\n", b - e
    }
  }'

#!/usr/bin/env bash
# What it costs the window's process to wait for a child: the program's ShellWait against the
# polling loop it replaced (GetExitCodeProcess and PeekMessage, never sleeping), each waiting for
# the stand-in told to take 5 s, under Wine, while a window of the waiting process gets a timer
# every 50 ms. Prints figures only; nothing here passes or fails on a time.
#
#   scripts/bench-shellwait.sh
#
# For each wait it prints: the wall time; the CPU time of the waiting process, from the
# /proc/<pid>/stat of its Unix process (the figure to trust: GetProcessTimes on Wine may lag) and
# from its own GetProcessTimes; that CPU time as a percentage of one core; the CPU time of the
# prefix's wine server over the same span, and the two together (under Wine each GetExitCodeProcess
# and PeekMessage is a request to the server, so a polling loop burns its core there about as much
# as in its own process; the server's figure also holds the child's own start-up, some 0.1 s);
# and how many timer messages the window handled, with the longest gap between two of them.
# The goal for ShellWait is under 1 % of one core; the polling loop takes about a whole core
# (process and server together).
#
# Settings (environment, all optional):
#   BENCH_BUILD=DIR      the x64 Windows build (default build/x64); configured here when it is not
#   BENCH_NO_BUILD=1     do not build shellwait_bench and the fixtures first
#   BENCH_CHILD_MS=N     how long the stand-in takes (default 5000)
#   BENCH_MODES="..."    which waits to run, in order (default "shellwait poll"; a mode may repeat)
#   BENCH_TIMER_MS=N     the window's timer period (default 50; 0: no timer, which shows what the
#                        wait costs by itself, apart from handling the messages)
#   MORVANE_PREFIX_DIR   where the rig keeps its prefixes (default build/wine-prefixes); this script
#                        uses its own prefix bench-win64 there, shared with bench-apply.sh under a lock
# Exits 77 when this machine cannot run x64 Windows programs under Wine.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tests/wine/lib.sh"
export RIG_QUIET=${RIG_QUIET:-1}

build=${BENCH_BUILD:-$root/build/x64}
child_ms=${BENCH_CHILD_MS:-5000}
modes=${BENCH_MODES:-shellwait poll}

die() {
  echo "bench-shellwait.sh: $*" >&2
  exit 2
}

if ! wine_can_run x64; then
  echo "SKIP: this machine cannot run x64 Windows programs under Wine"
  exit 77
fi

if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x64.cmake" -DCMAKE_BUILD_TYPE=Release \
      --no-warn-unused-cli >/dev/null || die "cannot configure $build"
  fi
  cmake --build "$build" -j "$(nproc)" --target shellwait_bench fixtures >/dev/null || die "the build failed"
fi
bench_exe=$build/bench/shellwait_bench.exe
standin_exe=$build/fixtures/standin.exe
for f in "$bench_exe" "$standin_exe"; do [ -f "$f" ] || die "missing $f"; done

prefix=${MORVANE_PREFIX_DIR:-$root/build/wine-prefixes}/bench-win64
mkdir -p "$(dirname "$prefix")"
# One bench at a time in the bench prefix: each ends its prefix's server when it is done. The
# programs started here do not get the lock's descriptor (9>&-), or a leftover would hold it.
exec 9>"$prefix.lock"
flock -w 900 9 || die "the bench prefix $prefix stays locked"
wine_prefix_make "$prefix" win64 9>&- || die "cannot make the prefix $prefix"

work=$(mktemp -d /tmp/morvane-bench-shellwait.XXXXXX)
cleanup() {
  wine_server_kill "$prefix"
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
xvfb_start 1024x768x24 9>&- || die "Xvfb did not start"
cp "$bench_exe" "$standin_exe" "$work/"
work_dos=$(wine_dos_path "$prefix" "$work") || die "no Windows path for $work"

clk_tck=$(getconf CLK_TCK)

# The user + system CPU time of a Unix process in clock ticks (fields 14 and 15 of its stat line;
# the name in parentheses may hold blanks, so count from the last parenthesis).
cpu_ticks() {
  local stat fields
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  read -r -a fields <<<"${stat##*) }"
  echo $((fields[11] + fields[12]))
}

# The Unix pid whose command line holds every word given (the program's own Unix process, not the
# loader that started it).
pid_by_cmdline() {
  local p line w ok
  for p in /proc/[0-9]*; do
    line=$(tr '\0' ' ' 2>/dev/null <"$p/cmdline") || continue
    ok=1
    for w in "$@"; do [[ "$line" == *"$w"* ]] || { ok=0; break; }; done
    if [ $ok = 1 ]; then
      echo "${p#/proc/}"
      return 0
    fi
  done
  return 1
}

# The prefix's wine server: it works in a folder named after the device and inode of the prefix.
server_pid() {
  local dev ino suffix p
  read -r dev ino < <(stat -L -c '%d %i' "$prefix")
  suffix=$(printf 'server-%x-%x' "$dev" "$ino")
  for p in /proc/[0-9]*; do
    [[ "$(readlink "$p/cwd" 2>/dev/null)" == */"$suffix" ]] && { echo "${p#/proc/}"; return 0; }
  done
  return 1
}

wait_for_line() {  # FILE WORD SECONDS (the program's lines end in CR LF)
  local end=$((SECONDS + $3))
  until grep -qE "^$2"$'\r'"?\$" "$1" 2>/dev/null; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.02
  done
}

field() {  # LINE KEY
  local w
  for w in $1; do [ "${w%%=*}" = "$2" ] && { echo "${w#*=}"; return 0; }; done
  return 1
}

export MORVANE_STANDIN_DELAY_MS=$child_ms
export MORVANE_BENCH_TIMER_MS=${BENCH_TIMER_MS:-50}

runs=0
run_one() {
  local mode=$1 hs out pid server c0 s0 c1 s1 result rc
  runs=$((runs + 1))
  hs=$work/$runs-$mode  # a handshake folder of its own for every run
  mkdir -p "$hs"
  out=$hs/out
  wine_start "$prefix" "$work/shellwait_bench.exe" "$mode" "$work_dos\\$runs-$mode" "\"$work_dos\\standin.exe\"" \
    >"$out" 2>"$hs/err" 9>&-
  if ! wait_for_line "$out" ready 120; then
    wine_stop "$prefix" "$WINE_PID"
    die "$mode: the bench program did not start: $(cat "$hs/err")"
  fi
  pid=$(pid_by_cmdline shellwait_bench.exe " $mode " "$work_dos\\$runs-$mode ") || die "$mode: no Unix process found"
  server=$(server_pid) || server=""
  c0=$(cpu_ticks "$pid")
  s0=$([ -n "$server" ] && cpu_ticks "$server" || echo 0)
  : >"$hs/go"
  if ! wait_for_line "$out" waited $((child_ms / 1000 + 120)); then
    wine_stop "$prefix" "$WINE_PID"
    die "$mode: the wait did not end"
  fi
  c1=$(cpu_ticks "$pid")
  s1=$([ -n "$server" ] && cpu_ticks "$server" || echo 0)
  : >"$hs/exit"
  wait "$WINE_PID"
  rc=$?
  result=$(grep '^result ' "$out" | tr -d '\r')
  [ -n "$result" ] || die "$mode: no result line (exit $rc)"
  [ "$(field "$result" started)" = 1 ] || die "$mode: the child did not start"

  local wall cpu_gpt ticks gap
  wall=$(field "$result" wall_ms)
  cpu_gpt=$(field "$result" cpu_ms)
  ticks=$(field "$result" ticks)
  gap=$(field "$result" max_gap_ms)
  awk -v mode="$mode" -v wall="$wall" -v proc=$(((c1 - c0) * 1000 / clk_tck)) -v gpt="$cpu_gpt" \
    -v srv=$(((s1 - s0) * 1000 / clk_tck)) -v have_srv="$([ -n "$server" ] && echo 1 || echo 0)" \
    -v ticks="$ticks" -v gap="$gap" -v period="$(field "$result" timer_ms)" -v res=$((1000 / clk_tck)) -v code="$(field "$result" exit)" '
    BEGIN {
      name = mode == "shellwait" ? "ShellWait (MsgWaitForMultipleObjectsEx)" : "polling loop (GetExitCodeProcess + PeekMessage)"
      printf "%s\n", name
      printf "  wall time                    %8.0f ms   (child exit code %s)\n", wall, code
      printf "  CPU, /proc/<pid>/stat        %8.0f ms   %6.2f %% of one core   (resolution %d ms)\n", proc, 100 * proc / wall, res
      printf "  CPU, GetProcessTimes         %8.0f ms   %6.2f %% of one core\n", gpt, 100 * gpt / wall
      if (have_srv) {
        printf "  wine server CPU, same span   %8.0f ms   %6.2f %% of one core   (the child%s start-up included)\n", srv, 100 * srv / wall, "\047s"
        printf "  waiting process + server     %8.0f ms   %6.2f %% of one core\n", proc + srv, 100 * (proc + srv) / wall
      } else
        printf "  wine server CPU              (server not found)\n"
      if (period > 0)
        printf "  timer messages handled       %8d      (%d expected at one per %d ms; longest gap %d ms)\n", ticks, wall / period, period, gap
      else
        printf "  timer messages handled       (no timer)\n"
    }'
}

echo "Waiting for a child of ${child_ms} ms under Wine ($("$(wine_exe_for x64)" --version 2>/dev/null)), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for mode in $modes; do
  case "$mode" in
    shellwait | poll) run_one "$mode" ;;
    *) die "unknown mode '$mode' (shellwait or poll)" ;;
  esac
done

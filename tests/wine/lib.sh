# shellcheck shell=bash
# The Wine test rig: prefixes, drive letters, Xvfb, running Windows programs with a time limit, and
# laying out the stand-ins and the image-tool wrapper. Source it from bash:
#   . tests/wine/lib.sh
# Used by tests/wine/run.sh and scripts/bench-*.sh.
#
# Settings (environment, all optional):
#   RIG_LANG          locale of the programs run (default zh_CN.UTF-8: code pages 936)
#   RIG_TIMEOUT       seconds a wine_run may take (default 120)
#   RIG_DESKTOP       size of the Wine virtual desktop of a new prefix (default 1024x768)
#   RIG_QUIET=1       no progress messages on standard error
#   WINEDEBUG, WINEDLLOVERRIDES   passed on when set (defaults: -all; no Mono, Gecko, menu builder)
#
# Functions:
#   wine_can_run ARCH                     wine_exe_for ARCH
#   wine_prefix_make DIR win32|win64 [winxp|winxp64|dpi144]
#   wine_map_drive PREFIX LETTER DIR      wine_unmap_drive PREFIX LETTER      wine_dos_path PREFIX PATH
#   wine_run PREFIX EXE ARGS...           wine_start PREFIX EXE ARGS...       wine_stop PREFIX PID
#   wine_server_kill PREFIX               xvfb_start [WxHxD]                  xvfb_stop
#   install_standins PREFIX FIXTURES [FIXTURES_X86]    install_tools APPDIR FIXTURES [FIXTURES_FOR_BIN]

# Debian's Wine: the loaders are called directly, as /usr/bin/wine always picks the 32-bit one when
# wine32 is installed, and so fails for every program on a kernel without 32-bit support. The
# 64-bit loader runs x64 programs in a win64 prefix and hands x86 ones to the 32-bit loader.
RIG_WINE=/usr/lib/wine
# Bump when the settings written into a prefix change: cached prefixes are then made again.
RIG_PREFIX_VERSION=3

_rig_say() { [ "${RIG_QUIET:-0}" = 1 ] || printf 'rig: %s\n' "$*" >&2; }

# wine_exe_for x86|x64: the Wine loader for programs of that machine.
wine_exe_for() { if [ "$1" = x86 ]; then echo "$RIG_WINE/wine"; else echo "$RIG_WINE/wine64"; fi; }
# wine_can_run x86|x64: whether such programs run here. Some virtual machines run 64-bit code only:
# then the 32-bit loader fails with "Exec format error".
wine_can_run() { "$(wine_exe_for "$1")" --version >/dev/null 2>&1; }

# _rig_env PREFIX CMD...: CMD with the rig's Wine environment for PREFIX; CMD "wine" is the
# prefix's loader (the 32-bit one for a win32 prefix).
# Without Wine's preloader (Debian ships none) nothing keeps the kernel's randomized brk heap of the
# loader (linked at 0x7d000000; on the kernel measured, 6.18, the heap starts anywhere in the next
# 1 GiB) off 0x7ffe0000, where every Windows process needs its shared user data page: about one
# process start in 5,000 then dies at once ("failed to map the shared user data: c0000018") and its
# CreateProcess fails with ERROR_INTERNAL_ERROR. So every Wine process runs with address
# randomization off (setarch -R, a personality its children inherit); the heap then always sits
# right after the loader. run.sh checks it.
_rig_env() {
  local prefix=$1 lang=${RIG_LANG:-zh_CN.UTF-8} loader=$RIG_WINE/wine64
  shift
  if [ "${WINEARCH:-}" = win32 ] || grep -qs '^#arch=win32' "$prefix/system.reg"; then loader=$RIG_WINE/wine; fi
  [ "$1" != wine ] || set -- "$loader" "${@:2}"
  WINEPREFIX=$prefix WINELOADER=$loader WINEDEBUG=${WINEDEBUG:--all} LANG=$lang LC_ALL=$lang \
    WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d} setarch "$(uname -m)" -R "$@"
}

# wine_server_kill PREFIX: ends the prefix's wine server and every Windows process in it.
wine_server_kill() { _rig_env "$1" "$RIG_WINE/wineserver" -k 2>/dev/null; true; }

# The rig's settings, as a .reg file: no crash dialog (a crash ends the process), a virtual desktop
# (without a window manager, hiding a top-level window stalls 2 s), the native shutdown.exe stand-in
# over Wine's builtin, R: a removable drive wherever it is mapped, and the Chinese UI and dialog
# fonts drawn with WenQuanYi Micro Hei (fonts-wqy-microhei), so that Chinese text shows under any
# LANG. A variant adds the Windows version Wine reports, or 144 dots per inch.
_rig_regfile() {
  local face dpi='"LogPixels"=dword:00000090'
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' "\"Default\"=\"${RIG_DESKTOP:-1024x768}\"" '' \
    '[HKEY_CURRENT_USER\Software\Wine\DllOverrides]' '"shutdown.exe"="native"' '"winemenubuilder.exe"=""' '' \
    '[HKEY_LOCAL_MACHINE\Software\Wine\Drives]' '"r:"="floppy"' '' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
  for face in 微软雅黑 "Microsoft YaHei" "Microsoft YaHei UI" 宋体 SimSun 新宋体 NSimSun 黑体 SimHei 楷体 KaiTi \
    仿宋 FangSong 微软正黑体 "Microsoft JhengHei" 新細明體 PMingLiU 細明體 MingLiU Tahoma "MS Shell Dlg" \
    "MS Shell Dlg 2" "Segoe UI" Verdana "Microsoft Sans Serif"; do
    printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
  done
  case $1 in
    winxp | winxp64) printf '%s\r\n' '' '[HKEY_CURRENT_USER\Software\Wine]' "\"Version\"=\"$1\"" ;;
    dpi144) printf '%s\r\n' '' '[HKEY_CURRENT_USER\Control Panel\Desktop]' "$dpi" '' \
      '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]' "$dpi" ;;
  esac
}

# wine_prefix_make DIR win32|win64 [VARIANT]: a prefix with the rig's settings in DIR (an absolute
# path), on disk when it returns. VARIANT winxp (win32) or winxp64 (win64) makes Wine report Windows
# XP (5.1) or XP x64 (5.2); dpi144 gives the screen 144 dots per inch. A prefix made earlier with the
# same settings, Wine version and 32-bit support is kept (stamp DIR/.morvane-rig); makers of one DIR
# take turns (flock on DIR.rig-make.lock). Returns 2 when the prefix's programs cannot run here. Do
# not remake a prefix another run is using.
wine_prefix_make() {
  mkdir -p "$(dirname "$1")" && (flock 9 && _rig_prefix_make "$@") 9>"$1.rig-make.lock"
}
_rig_prefix_make() {
  local dir=$1 arch=$2 variant=${3:-} want mark
  [ "$arch" = win64 ] || { [ "$arch" = win32 ] && wine_can_run x86; } || return 2
  want="rig=$RIG_PREFIX_VERSION arch=$arch variant=$variant wow=$(wine_can_run x86 && echo yes)"
  want="$want desktop=${RIG_DESKTOP:-1024x768} wine=$("$(wine_exe_for x64)" --version)"
  [ "$(cat "$dir/.morvane-rig" 2>/dev/null)" != "$want" ] || return 0
  if [ -e "$dir" ] && [ ! -f "$dir/system.reg" ] && [ -n "$(ls -A "$dir")" ]; then
    _rig_say "$dir exists and is no Wine prefix; not touching it" && return 2
  fi
  wine_server_kill "$dir" && rm -rf "$dir"
  _rig_say "making $arch prefix $dir"
  WINEARCH=$arch _rig_env "$dir" wine wineboot -i >/dev/null 2>&1
  # Debian's Wine 8 does not load the fonts of its own data folder (Marlett draws the caption
  # buttons): they are found in C:\windows\Fonts.
  cp /usr/share/wine/fonts/* "$dir/drive_c/windows/Fonts/" || return 1
  # regedit takes a UTF-16LE file for the Chinese value names; it runs through the prefix's own
  # loader, so a win64 prefix gets the 64-bit keys Wine reads, not the Wow6432Node copies.
  { printf '\xff\xfe'; _rig_regfile "$variant" | iconv -f UTF-8 -t UTF-16LE; } >"$dir/drive_c/rig.reg"
  _rig_env "$dir" wine regedit /S 'C:\rig.reg' >/dev/null 2>&1
  _rig_env "$dir" "$RIG_WINE/wineserver" -w  # the registry reaches the disk when the server ends
  rm -f "$dir/drive_c/rig.reg"
  case $variant in winxp*) mark="\"Version\"=\"$variant\"" ;; dpi144) mark='"LogPixels"=dword:00000090' ;; esac
  for mark in "#arch=$arch" ShowCrashDialog 'WenQuanYi Micro Hei' '"r:"="floppy"' ${mark:+"$mark"}; do
    grep -qF -- "$mark" "$dir/user.reg" "$dir/system.reg" || { _rig_say "$mark did not reach $dir"; return 1; }
  done
  echo "$want" >"$dir/.morvane-rig"
}

# wine_map_drive PREFIX LETTER DIR: the drive letter (lower case, no colon) shows the folder DIR.
# Wine reports such a drive as fixed (R: as removable: the prefix's setting). GetLogicalDrives
# lists it only after the prefix's wine server has restarted: map before the first program starts.
wine_map_drive() { ln -sfn "$(realpath "$3")" "$1/dosdevices/$2:"; }
wine_unmap_drive() { rm -f "$1/dosdevices/$2:"; }
# wine_dos_path PREFIX PATH: the Windows path of a Unix path, through Z: (the Unix root).
wine_dos_path() { local p; p=$(realpath -m "$2"); printf 'Z:%s\n' "${p//\//\\}"; }

# wine_start PREFIX EXE ARGS...: starts a Windows program (a Unix path to a PE file, or a name Wine
# finds such as cmd) in the background, standard input /dev/null, output where the caller's goes;
# its pid (the loader's Unix process) is in WINE_PID. Exported variables reach its environment.
wine_start() {
  _rig_env "$1" wine "${@:2}" </dev/null &
  WINE_PID=$!
}
# wine_run PREFIX EXE ARGS...: runs it and returns its exit code; 124 when it ran longer than
# RIG_TIMEOUT seconds (it is then stopped with wine_stop).
wine_run() {
  local deadline=$((SECONDS + ${RIG_TIMEOUT:-120}))
  wine_start "$@"
  while kill -0 "$WINE_PID" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { _rig_say "$2 ran ${RIG_TIMEOUT:-120} s; stopping it"; wine_stop "$1" "$WINE_PID"; return 124; }
    sleep 0.05
  done
  wait "$WINE_PID"
}
# wine_stop PREFIX PID: ends PID (TERM, then KILL after 3 s), then the prefix's wine server with
# everything still running in it (a timeout signalling the process group could end the server before
# its clients and leave services.exe orphaned).
wine_stop() {
  kill -TERM "$2" 2>/dev/null && for _ in {1..60}; do kill -0 "$2" 2>/dev/null && sleep 0.05; done
  kill -KILL "$2" 2>/dev/null
  wine_server_kill "$1"
  wait "$2" 2>/dev/null || true
}

# xvfb_start [WxHxD]: Xvfb on a free display (it picks one: -displayfd), exported as DISPLAY; the
# default screen is the virtual desktop's size at 24 bits. Start it before the first Wine process of
# a server session: the virtual desktop, made by the session's first program, keeps that DISPLAY,
# and one made without X leaves every later window hanging.
xvfb_start() {
  local fifo num=
  fifo=$(mktemp -u /tmp/rig-xvfb.XXXXXX) && mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 "${1:-${RIG_DESKTOP:-1024x768}x24}" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  RIG_XVFB_PID=$!
  read -r -t 10 num <"$fifo"
  rm -f "$fifo"
  [ -n "$num" ] || { _rig_say "Xvfb did not start"; xvfb_stop; return 1; }
  export DISPLAY=:$num
}
xvfb_stop() { [ -z "${RIG_XVFB_PID:-}" ] || { kill "$RIG_XVFB_PID" && wait "$RIG_XVFB_PID"; } 2>/dev/null; RIG_XVFB_PID=; }

# install_standins PREFIX FIXTURES [FIXTURES_X86]: standin.exe becomes format.com and shutdown.exe in
# system32 and, in a win64 prefix, in syswow64 (the System32 of 32-bit programs; those copies from
# FIXTURES_X86 when given).
install_standins() {
  local win=$1/drive_c/windows name
  for name in format.com shutdown.exe; do
    install -m 0755 "$2/standin.exe" "$win/system32/$name" || return 2
    [ ! -d "$win/syswow64" ] || install -m 0755 "${3:-$2}/standin.exe" "$win/syswow64/$name" || return 2
  done
}
# install_tools APPDIR FIXTURES [FIXTURES_FOR_BIN]: the program's tool folders in the Unix folder
# APPDIR, as on a real medium: Bin64 gets the wrapper wimlib-imagex.exe (from FIXTURES) and Bin gets
# its own (from FIXTURES_FOR_BIN, the x86 build, when given), each with wimlib-run.sh; Bin also gets
# the bcdboot.exe and bootsect.exe stand-ins.
install_tools() {
  local fxbin=${3:-$2}
  mkdir -p "$1/Bin" "$1/Bin64" && install -m 0755 "$2/wimlib-imagex.exe" "$2/wimlib-run.sh" "$1/Bin64/" &&
    install -m 0755 "$fxbin/wimlib-imagex.exe" "$2/wimlib-run.sh" "$1/Bin/" &&
    install -m 0755 "$fxbin/standin.exe" "$1/Bin/bcdboot.exe" && install -m 0755 "$fxbin/standin.exe" "$1/Bin/bootsect.exe"
}

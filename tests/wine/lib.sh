# shellcheck shell=bash
# The Wine test rig: prefixes, drives, Xvfb, screenshots, running Windows programs with a time limit,
# and laying out the stand-ins and the image-tool wrapper. Source it from bash:
#   . tests/wine/lib.sh
#
# Settings (environment, all optional):
#   RIG_LANG          locale for the programs run (default zh_CN.UTF-8: ANSI code page 936)
#   RIG_TIMEOUT       seconds a wine_run may take (default 120)
#   RIG_DESKTOP       size of the Wine virtual desktop (default 1024x768)
#   RIG_QUIET=1       no progress messages on standard error
#   WINEDEBUG         passed on; -all unless set
#   WINEDLLOVERRIDES  passed on; "mscoree,mshtml=;winemenubuilder.exe=d" unless set
#
# Functions (see each one's comment):
#   wine_can_run ARCH                     wine_exe_for ARCH            pe_arch FILE
#   pe_set_machine FILE HEX
#   wine_prefix_make DIR ARCH [VARIANT]   wine_prefix_arch PREFIX
#   wine_map_drive PREFIX LETTER DIR      wine_unmap_drive PREFIX LETTER
#   wine_drive_type PREFIX LETTER TYPE    wine_dos_path PREFIX UNIX_PATH
#   wine_run PREFIX EXE ARGS...           wine_start PREFIX EXE ARGS...   wine_stop PREFIX [PID]
#   wine_server_start PREFIX              wine_server_wait PREFIX      wine_server_kill PREFIX
#   xvfb_start [WxHxD]                    xvfb_stop                    screenshot FILE [GEOMETRY]
#   install_standins PREFIX STANDIN_DIR [STANDIN_DIR_X86]
#   install_tools APPDIR FIXTURE_DIR [FIXTURE_DIR_FOR_BIN]

RIG_WINE_LIBDIR=${RIG_WINE_LIBDIR:-/usr/lib/wine}
RIG_DEFAULT_OVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Bump when the settings written into a prefix change: cached prefixes are then made again.
RIG_PREFIX_VERSION=2

_rig_say() { [ "${RIG_QUIET:-0}" = 1 ] || printf 'rig: %s\n' "$*" >&2; }

# --- architectures and loaders --------------------------------------------------------------------

# x86|win32|i386|i686 -> x86, x64|win64|amd64|x86_64 -> x64.
_rig_arch() {
  case "${1,,}" in
    x86 | win32 | i386 | i686) echo x86 ;;
    x64 | win64 | amd64 | x86_64) echo x64 ;;
    *) return 1 ;;
  esac
}

_rig_loader64() {
  if [ -x "$RIG_WINE_LIBDIR/wine64" ]; then echo "$RIG_WINE_LIBDIR/wine64"; else command -v wine64 || return 1; fi
}
_rig_loader32() {
  if [ -x "$RIG_WINE_LIBDIR/wine" ]; then echo "$RIG_WINE_LIBDIR/wine"; else return 1; fi
}

# wine_can_run ARCH: true when programs of ARCH can run here. x86 needs the 32-bit loader and a
# kernel that runs 32-bit user code (some virtual machines run 64-bit code only: then execve of the
# 32-bit loader fails with "Exec format error").
wine_can_run() {
  local arch loader
  arch=$(_rig_arch "$1") || return 2
  if [ "$arch" = x64 ]; then
    [ -n "${_RIG_CAN64:-}" ] || { loader=$(_rig_loader64) && "$loader" --version >/dev/null 2>&1 && _RIG_CAN64=yes || _RIG_CAN64=no; }
    [ "$_RIG_CAN64" = yes ]
  else
    [ -n "${_RIG_CAN32:-}" ] || { loader=$(_rig_loader32) && "$loader" --version >/dev/null 2>&1 && _RIG_CAN32=yes || _RIG_CAN32=no; }
    [ "$_RIG_CAN32" = yes ]
  fi
}

# wine_exe_for ARCH: the Wine loader that runs a program of ARCH (prints its path). The loaders are
# called directly: Debian's /usr/bin/wine script always picks the 32-bit loader when wine32 is
# installed, and so fails for every program on a kernel without 32-bit support. The 64-bit loader
# runs x64 programs in a win64 prefix (and hands x86 ones to the 32-bit loader itself).
wine_exe_for() {
  local arch
  arch=$(_rig_arch "$1") || { _rig_say "wine_exe_for: unknown architecture '$1'"; return 2; }
  if [ "$arch" = x64 ]; then
    _rig_loader64
  elif wine_can_run x86; then
    _rig_loader32
  else
    _rig_say "wine_exe_for: x86 programs cannot run on this machine (no 32-bit Wine loader or no 32-bit kernel support)"
    return 1
  fi
}

# pe_arch FILE: prints x86 or x64 for a PE file (from the COFF machine field), fails otherwise.
pe_arch() {
  local off machine
  [ -f "$1" ] || return 1
  [ "$(head -c 2 "$1")" = MZ ] || return 1
  off=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -t x2 -j $((off + 4)) -N 2 "$1" | tr -d ' ')
  case "$machine" in
    014c) echo x86 ;;
    8664) echo x64 ;;
    *) return 1 ;;
  esac
}

# pe_set_machine FILE HEX: writes HEX (aa64: ARM64, 014c: x86, 8664: x64) into the COFF machine
# field of a PE file, for a program file built for another processor.
pe_set_machine() {
  local off hex=${2#0x}
  [[ "$hex" =~ ^[0-9a-fA-F]{4}$ ]] && [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 1
  off=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  printf %b "\\x${hex:2:2}\\x${hex:0:2}" | dd of="$1" bs=1 seek=$((off + 4)) conv=notrunc status=none
}

_rig_wineserver() {
  if command -v wineserver >/dev/null 2>&1; then command -v wineserver
  elif [ -x "$RIG_WINE_LIBDIR/wineserver" ]; then echo "$RIG_WINE_LIBDIR/wineserver"
  else return 1; fi
}

# Without Wine's preloader (Debian ships none) nothing keeps the kernel's randomized brk heap of
# the loader (linked at 0x7d000000; on the kernel measured, 6.18, the heap starts anywhere in the
# next 1 GiB) off 0x7ffe0000, where every Windows process needs its shared user data page. About one Wine
# process start in 5,000 then dies at once ("failed to map the shared user data: c0000018") and
# its CreateProcess fails with ERROR_INTERNAL_ERROR. Every Wine process therefore runs with address
# randomization off (a personality its children inherit); the heap then always sits right after the
# loader.
_rig_no_aslr() {
  if command -v setarch >/dev/null 2>&1; then
    setarch "$(uname -m)" -R "$@"
  else
    _rig_say "setarch (util-linux) is missing: Wine processes may fail to start now and then"
    "$@"
  fi
}

# Runs a command with the rig's Wine environment for PREFIX: rig_env PREFIX CMD...
_rig_env() {
  local prefix=$1
  shift
  local lang=${RIG_LANG:-zh_CN.UTF-8}
  WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-$RIG_DEFAULT_OVERRIDES} \
    LANG=$lang LC_ALL=$lang _rig_no_aslr "$@"
}

# wine_server_start PREFIX: starts a persistent wine server for the prefix. Without one, the server
# and Wine's services end with the last program and the next program pays 1.5-3 s to start them
# again; with one, a small program takes about 0.3 s. End it with wine_server_kill (e.g. in a trap).
wine_server_start() { _rig_env "$1" "$(_rig_wineserver)" -p </dev/null >/dev/null 2>&1; }
# wine_server_wait PREFIX: waits until the prefix's wine server has ended (registry on disk). Never
# returns while a persistent server (wine_server_start) runs.
wine_server_wait() { _rig_env "$1" "$(_rig_wineserver)" -w; }
# wine_server_kill PREFIX: ends the prefix's wine server and every Windows process in it.
wine_server_kill() { _rig_env "$1" "$(_rig_wineserver)" -k 2>/dev/null; true; }

# --- prefixes ------------------------------------------------------------------------------------

# wine_prefix_arch PREFIX: prints win32 or win64.
wine_prefix_arch() {
  local line
  line=$(grep -m1 '^#arch=' "$1/system.reg" 2>/dev/null) || return 1
  echo "${line#\#arch=}"
}

# The loader for the programs of a prefix: the 64-bit one for win64, the 32-bit one for win32.
_rig_loader_for_prefix() {
  case "$(wine_prefix_arch "$1")" in
    win32) wine_exe_for x86 ;;
    *) wine_exe_for x64 ;;
  esac
}

# Debian's Wine 8 does not load the fonts of its own data folder (Marlett, which draws the caption
# buttons, Tahoma, MS Sans Serif...): they are found when they sit in C:\windows\Fonts.
_rig_copy_wine_fonts() {
  local fontdir fonts="$1/drive_c/windows/Fonts"
  [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ] || return 0
  for fontdir in "$RIG_WINE_LIBDIR/../../share/wine/fonts" /usr/share/wine/fonts; do
    if [ -d "$fontdir" ]; then
      cp -n "$fontdir"/* "$fonts/" 2>/dev/null
      return 0
    fi
  done
}

_rig_regfile() {
  local desktop=${RIG_DESKTOP:-1024x768} variant=${1:-} face
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="%s"\r\n\r\n' "$desktop"
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"shutdown.exe"="native"\r\n"winemenubuilder.exe"=""\r\n\r\n'
  # R: is a removable drive wherever it is mapped (regedit runs through the prefix's own loader, so a
  # win64 prefix gets the 64-bit key that Wine reads, not the Wow6432Node copy).
  printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n"r:"="floppy"\r\n\r\n'
  # Chinese UI fonts and the dialog fonts: all drawn with WenQuanYi Micro Hei (fonts-wqy-microhei),
  # so that Chinese text shows under any LANG (under en_US Wine would pick Liberation Sans, which has
  # no CJK glyphs).
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  for face in 微软雅黑 "Microsoft YaHei" "Microsoft YaHei UI" 宋体 SimSun 新宋体 NSimSun 黑体 SimHei \
    楷体 KaiTi 仿宋 FangSong 微软正黑体 "Microsoft JhengHei" 新細明體 PMingLiU 細明體 MingLiU \
    Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" Verdana "Microsoft Sans Serif"; do
    printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
  done
  printf '\r\n'
  case "$variant" in
    winxp | winxp64)
      printf '[HKEY_CURRENT_USER\\Software\\Wine]\r\n"Version"="%s"\r\n\r\n' "$variant" ;;
    dpi144)
      printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:00000090\r\n\r\n'
      printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]\r\n'
      printf '"LogPixels"=dword:00000090\r\n\r\n' ;;
  esac
}

# The line of user.reg or system.reg that shows a variant's setting on disk.
_rig_variant_mark() {
  case "$1" in
    winxp | winxp64) echo "\"Version\"=\"$1\"" ;;
    dpi144) echo '"LogPixels"=dword:00000090' ;;
  esac
}

# wine_prefix_make DIR ARCH [VARIANT]: makes a Wine prefix for ARCH (win32 or win64) in DIR with the
# rig's settings (no crash dialog, a virtual desktop, native shutdown.exe, CJK font replacements, R:
# a removable drive) and waits until they are on disk. VARIANT adds one setting: winxp or winxp64
# (the prefix reports Windows XP, version 5.1, or XP x64, version 5.2; winxp64 needs a win64
# prefix), or dpi144 (the screen has 144 dots per inch). A prefix made earlier by this function
# with the same settings, Wine version and 32-bit support is kept (stamp file DIR/.morvane-rig);
# makers of the same DIR take turns (flock on DIR.rig-make.lock). Returns 2 when ARCH cannot run here (a win32 prefix needs the
# 32-bit loader). Do not remake a prefix that another test run is using.
wine_prefix_make() {
  # One maker at a time per prefix (parallel test runs share the cache): a lock file beside it.
  [ -n "${1:-}" ] || return 2
  mkdir -p "$(dirname "$1")" || return 2
  (
    flock 9 || exit 2
    _rig_prefix_make_locked "$@"
  ) 9>"$1.rig-make.lock"
}

_rig_prefix_make_locked() {
  local dir=$1 variant=${3:-} arch loader want stamp t0 regfile rc mark
  case "${2,,}" in
    win32 | x86) arch=win32 ;;
    win64 | x64) arch=win64 ;;
    *) _rig_say "wine_prefix_make: ARCH must be win32 or win64, not '$2'"; return 2 ;;
  esac
  case "$variant" in
    "" | winxp | winxp64 | dpi144) ;;
    *) _rig_say "wine_prefix_make: unknown VARIANT '$variant'"; return 2 ;;
  esac
  [ -n "$dir" ] || return 2
  if [ "$arch" = win32 ]; then
    loader=$(wine_exe_for x86) || return 2
  else
    loader=$(wine_exe_for x64) || return 2
  fi
  local can32=no
  wine_can_run x86 && can32=yes
  want="rig=$RIG_PREFIX_VERSION arch=$arch variant=$variant wow=$can32 desktop=${RIG_DESKTOP:-1024x768} wine=$("$loader" --version 2>/dev/null)"
  stamp="$dir/.morvane-rig"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -f "$dir/system.reg" ]; then
    _rig_copy_wine_fonts "$dir"  # prefixes made before the fonts were copied get them now
    return 0
  fi
  if [ -e "$dir" ]; then
    if [ -f "$dir/system.reg" ] || [ -d "$dir/dosdevices" ] || [ -z "$(ls -A "$dir" 2>/dev/null)" ]; then
      wine_server_kill "$dir"
      rm -rf "$dir"
    else
      _rig_say "wine_prefix_make: $dir exists and is no Wine prefix; not touching it"
      return 2
    fi
  fi
  mkdir -p "$(dirname "$dir")"
  dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")
  t0=$SECONDS
  _rig_say "making $arch prefix $dir"
  WINEARCH=$arch WINELOADER=$loader _rig_env "$dir" "$loader" wineboot -i >/dev/null 2>&1
  rc=$?
  if [ $rc -ne 0 ] || [ ! -d "$dir/drive_c/windows/temp" ]; then
    _rig_say "wine_prefix_make: wineboot failed ($rc)"
    return 1
  fi
  _rig_copy_wine_fonts "$dir"
  regfile="$dir/drive_c/windows/temp/morvane-rig.reg"
  # regedit takes a UTF-16LE file for the Chinese value names.
  { printf '\xff\xfe'; _rig_regfile "$variant" | iconv -f UTF-8 -t UTF-16LE; } >"$regfile"
  WINELOADER=$loader _rig_env "$dir" "$loader" regedit /S 'C:\windows\temp\morvane-rig.reg' >/dev/null 2>&1
  rm -f "$regfile"
  # The registry reaches the disk only when the server exits.
  wine_server_wait "$dir"
  if ! grep -q 'ShowCrashDialog' "$dir/user.reg" 2>/dev/null || ! grep -q 'WenQuanYi Micro Hei' "$dir/user.reg" ||
    ! grep -q "^#arch=$arch" "$dir/system.reg" 2>/dev/null ||
    ! grep -qx '"r:"="floppy"' "$dir/system.reg"; then
    _rig_say "wine_prefix_make: the settings did not reach $dir/user.reg and system.reg"
    return 1
  fi
  mark=$(_rig_variant_mark "$variant")
  if [ -n "$mark" ] && ! grep -qF "$mark" "$dir/user.reg" "$dir/system.reg"; then
    _rig_say "wine_prefix_make: the $variant setting did not reach $dir"
    return 1
  fi
  printf '%s\n' "$want" >"$stamp"
  _rig_say "prefix ready in $((SECONDS - t0)) s"
}

# --- drives --------------------------------------------------------------------------------------

# wine_map_drive PREFIX LETTER DIR: drive LETTER: (e.g. t) shows the folder DIR. Wine reports every
# such drive as fixed (see wine_drive_type), but R: in the rig's prefixes as removable. Paths on it
# work at once, but GetLogicalDrives lists the drive only after the prefix's wine server has
# restarted: map drives before the first program starts, or call wine_server_kill after mapping.
wine_map_drive() {
  local prefix=$1 letter=${2,,} dir=$3
  letter=${letter%:}
  [[ "$letter" =~ ^[a-z]$ ]] || { _rig_say "wine_map_drive: bad drive letter '$2'"; return 2; }
  [ "$letter" != c ] || { _rig_say "wine_map_drive: refusing to remap C:"; return 2; }
  [ -d "$dir" ] || { _rig_say "wine_map_drive: no folder $dir"; return 2; }
  local link="$prefix/dosdevices/$letter:"
  if [ -e "$link" ] && [ ! -L "$link" ]; then _rig_say "wine_map_drive: $link is not a link"; return 2; fi
  ln -sfn "$(cd "$dir" && pwd)" "$link"
}

# wine_unmap_drive PREFIX LETTER
wine_unmap_drive() {
  local letter=${2,,}
  letter=${letter%:}
  local link="$1/dosdevices/$letter:"
  if [ -L "$link" ]; then rm -f "$link"; fi
}

# wine_drive_type PREFIX LETTER TYPE: TYPE is floppy (removable), cdrom, hd (fixed), network, or
# "" to drop the setting. Wine reads it when its server starts, so this ends the prefix's server
# (and every program in it) first and waits until the setting is on disk.
wine_drive_type() {
  local prefix=$1 letter=${2,,} type=$3 loader file
  letter=${letter%:}
  loader=$(_rig_loader_for_prefix "$prefix") || return 2
  wine_server_kill "$prefix"
  wine_server_wait "$prefix"
  file="$prefix/drive_c/windows/temp/morvane-drive.reg"
  if [ -n "$type" ]; then
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n"%s:"="%s"\r\n' "$letter" "$type" >"$file"
  else
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n"%s:"=-\r\n' "$letter" >"$file"
  fi
  WINELOADER=$loader _rig_env "$prefix" "$loader" regedit /S 'C:\windows\temp\morvane-drive.reg' >/dev/null 2>&1
  rm -f "$file"
  wine_server_wait "$prefix"
}

# wine_dos_path PREFIX UNIX_PATH: the Windows path of a Unix path, through the drive links of the
# prefix (longest match; Z: is the Unix root). Pure shell, no Wine process.
wine_dos_path() {
  local prefix=$1 path best="" bestlen=0 link target letter rest
  path=$(realpath -m "$2")
  for link in "$prefix"/dosdevices/?:; do
    [ -L "$link" ] || continue
    target=$(realpath -m "$link")
    letter=$(basename "$link")
    if [ "$path" = "$target" ] || [[ "$path" == "$target"/* ]] || [ "$target" = / ]; then
      if [ ${#target} -gt $bestlen ] || [ -z "$best" ]; then
        best=$letter
        bestlen=${#target}
        rest=${path#"$target"}
        [ "$target" = / ] && rest=$path
      fi
    fi
  done
  [ -n "$best" ] || return 1
  rest=${rest#/}
  printf '%s\\%s\n' "${best^^}" "${rest//\//\\}"
}

# --- running programs ----------------------------------------------------------------------------

# Refuses a program that cannot run here: returns 3 for an x86 PE file without 32-bit support.
_rig_check_exe() {
  local exe=$1 arch
  if [ -f "$exe" ] && arch=$(pe_arch "$exe") && ! wine_can_run "$arch"; then
    _rig_say "cannot run $arch program $exe on this machine"
    return 3
  fi
}

# wine_run PREFIX EXE ARGS...: runs a Windows program (a Unix path to a PE file, or a name Wine
# finds such as cmd or 'C:\windows\system32\cmd.exe') and returns its exit code; 124 when it took
# longer than RIG_TIMEOUT seconds (then it is ended by its pid and the prefix's wine server is
# killed), 3 when it cannot run here. Standard input is /dev/null; output goes where the caller's
# goes. LANG and LC_ALL are RIG_LANG (default zh_CN.UTF-8). Exported variables (MORVANE_*) reach
# the program's environment.
wine_run() {
  local prefix=$1 exe=$2
  shift 2
  local loader pid rc deadline timed_out=0
  _rig_check_exe "$exe" || return $?
  loader=$(_rig_loader_for_prefix "$prefix") || return 3
  WINELOADER=$loader _rig_env "$prefix" "$loader" "$exe" "$@" </dev/null &
  pid=$!
  deadline=$((SECONDS + ${RIG_TIMEOUT:-120}))
  while kill -0 "$pid" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then
      timed_out=1
      break
    fi
    sleep 0.05
  done
  if [ $timed_out = 1 ]; then
    _rig_say "wine_run: $exe still running after ${RIG_TIMEOUT:-120} s; stopping it"
    wine_stop "$prefix" "$pid"
    return 124
  fi
  wait "$pid"
  rc=$?
  return $rc
}

# wine_start PREFIX EXE ARGS...: starts a Windows program in the background; its pid (the Unix
# process of the Wine loader) is in WINE_PID. Output goes where the caller's goes. End it with
# wine_stop PREFIX "$WINE_PID", or wait for it with `wait "$WINE_PID"`.
wine_start() {
  local prefix=$1 exe=$2
  shift 2
  local loader
  _rig_check_exe "$exe" || return $?
  loader=$(_rig_loader_for_prefix "$prefix") || return 3
  WINELOADER=$loader _rig_env "$prefix" "$loader" "$exe" "$@" </dev/null &
  # shellcheck disable=SC2034  # for the caller
  WINE_PID=$!
}

# wine_stop PREFIX [PID]: ends PID (TERM, then KILL after 3 s), then the prefix's wine server with
# everything still running in it, and reaps PID.
wine_stop() {
  local prefix=$1 pid=${2:-}
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 1 60); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  fi
  wine_server_kill "$prefix"
  if [ -n "$pid" ]; then wait "$pid" 2>/dev/null; fi
  true
}

# --- X display and screenshots -------------------------------------------------------------------

# xvfb_start [WxHxD]: starts Xvfb on a free display (Xvfb picks it: -displayfd), exports DISPLAY,
# keeps the pid in RIG_XVFB_PID. Default screen: the virtual desktop's size (RIG_DESKTOP) at 24 bits.
# Start it before the first Wine process of a server session (wine_server_start included): the
# virtual desktop is made by the session's first program and keeps that DISPLAY; one made without
# X (or on an Xvfb since stopped) leaves every later window hanging.
xvfb_start() {
  local screen=${1:-${RIG_DESKTOP:-1024x768}x24} fifo num
  if [ -n "${RIG_XVFB_PID:-}" ] && kill -0 "$RIG_XVFB_PID" 2>/dev/null; then return 0; fi
  fifo=$(mktemp -u /tmp/rig-xvfb.XXXXXX)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  RIG_XVFB_PID=$!
  num=""
  read -r -t 10 num <"$fifo"
  rm -f "$fifo"
  if [ -z "$num" ]; then
    _rig_say "xvfb_start: Xvfb did not start"
    kill "$RIG_XVFB_PID" 2>/dev/null
    RIG_XVFB_PID=""
    return 1
  fi
  export DISPLAY=":$num"
  for _ in $(seq 1 50); do
    [ -S "/tmp/.X11-unix/X$num" ] && break
    sleep 0.05
  done
  _rig_say "Xvfb on $DISPLAY (pid $RIG_XVFB_PID)"
}

# xvfb_stop: ends the Xvfb that xvfb_start started.
xvfb_stop() {
  if [ -n "${RIG_XVFB_PID:-}" ]; then
    kill "$RIG_XVFB_PID" 2>/dev/null
    wait "$RIG_XVFB_PID" 2>/dev/null
    RIG_XVFB_PID=""
  fi
  true
}

# screenshot FILE [GEOMETRY]: the whole screen of DISPLAY into FILE (PNG by its name), cut to
# GEOMETRY (WxH+X+Y) when given.
screenshot() {
  local file=$1 geometry=${2:-}
  [ -n "${DISPLAY:-}" ] || { _rig_say "screenshot: no DISPLAY"; return 1; }
  if [ -n "$geometry" ]; then
    import -display "$DISPLAY" -window root -crop "$geometry" +repage "$file"
  else
    import -display "$DISPLAY" -window root "$file"
  fi
}

# --- stand-ins and tools -------------------------------------------------------------------------

# install_standins PREFIX STANDIN_DIR [STANDIN_DIR_X86]: STANDIN_DIR/standin.exe becomes format.com
# and shutdown.exe in C:\windows\system32 and, when the prefix has one, C:\windows\syswow64 (the
# System32 that 32-bit programs see). STANDIN_DIR_X86, when given, supplies the syswow64 copies.
install_standins() {
  local prefix=$1 dir=$2 dir32=${3:-$2} win="$1/drive_c/windows" name
  [ -f "$dir/standin.exe" ] || { _rig_say "install_standins: no $dir/standin.exe"; return 2; }
  [ -f "$dir32/standin.exe" ] || { _rig_say "install_standins: no $dir32/standin.exe"; return 2; }
  for name in format.com shutdown.exe; do
    install -m 0755 "$dir/standin.exe" "$win/system32/$name" || return 1
    if [ -d "$win/syswow64" ]; then
      install -m 0755 "$dir32/standin.exe" "$win/syswow64/$name" || return 1
    fi
  done
}

# install_tools APPDIR FIXTURE_DIR [FIXTURE_DIR_FOR_BIN]: lays out the program's tool folders in the
# Unix folder APPDIR: Bin and Bin64 each get the wrapper wimlib-imagex.exe with its wimlib-run.sh;
# Bin also gets bcdboot.exe and bootsect.exe (stand-ins). Bin64's files come from FIXTURE_DIR, Bin's
# from FIXTURE_DIR_FOR_BIN (the x86 build, as on a real medium) or else from FIXTURE_DIR too.
install_tools() {
  local app=$1 fx=$2 fxbin=${3:-$2} f
  for f in "$fx/wimlib-imagex.exe" "$fx/wimlib-run.sh" "$fxbin/wimlib-imagex.exe" "$fxbin/standin.exe"; do
    [ -f "$f" ] || { _rig_say "install_tools: missing $f"; return 2; }
  done
  mkdir -p "$app/Bin" "$app/Bin64" || return 1
  install -m 0755 "$fx/wimlib-imagex.exe" "$app/Bin64/wimlib-imagex.exe"
  install -m 0755 "$fx/wimlib-run.sh" "$app/Bin64/wimlib-run.sh"
  install -m 0755 "$fxbin/wimlib-imagex.exe" "$app/Bin/wimlib-imagex.exe"
  install -m 0755 "$fx/wimlib-run.sh" "$app/Bin/wimlib-run.sh"
  install -m 0755 "$fxbin/standin.exe" "$app/Bin/bcdboot.exe"
  install -m 0755 "$fxbin/standin.exe" "$app/Bin/bootsect.exe"
}

#!/usr/bin/env bash
# Installs what the project needs on a Debian 12 machine: the native toolchain and test libraries,
# the MinGW-w64 cross compilers, Wine with Xvfb for the Windows-side tests, the real image tool
# (wimtools) used behind the test wrapper, a CJK font and the two locales the tests run under.
# Idempotent: when everything is present it only checks and returns (about a second).
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  mingw-w64
  wine wine64 wine32:i386 fonts-wine
  xvfb xauth xdotool imagemagick
  wimtools fonts-wqy-microhei
  locales
)
LOCALES=(zh_CN.UTF-8 en_US.UTF-8)

log() { printf 'setup-deps: %s\n' "$*" >&2; }

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

# Packages not installed yet ("name" or "name:arch"), one a line. One dpkg-query for all of them;
# a name without an architecture means the native one (or "all").
missing_packages() {
  local native installed p
  native=$(dpkg --print-architecture)
  installed=$(dpkg-query -W -f='${Package} ${Architecture} ${db:Status-Status}\n' "${PACKAGES[@]}" 2>/dev/null \
    | awk -v n="$native" '$3 == "installed" { print $1 ":" $2; if ($2 == n || $2 == "all") print $1 }')
  for p in "${PACKAGES[@]}"; do
    grep -qxF "$p" <<<"$installed" || printf '%s\n' "$p"
  done
}

# Locale names as `locale -a` spells them: zh_CN.utf8.
have_locale() {
  local want
  want=$(printf '%s' "$1" | sed -E 's/\.UTF-8$/.utf8/I')
  locale -a 2>/dev/null | grep -qix "$want"
}

missing_locales() {
  local l
  for l in "${LOCALES[@]}"; do have_locale "$l" || printf '%s\n' "$l"; done
}

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
mapfile -t todo < <(missing_packages)

if [ "$need_i386" -eq 1 ] || [ "${#todo[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if [ "$need_i386" -eq 1 ]; then
    log "adding the i386 architecture (for wine32)"
    $SUDO dpkg --add-architecture i386
  fi
  log "installing: ${todo[*]:-(i386 lists only)}"
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q "${PACKAGES[@]}"
fi

# Wine takes its ANSI code page from the C library's locale: with LANG=zh_CN.UTF-8 but no such
# locale generated, setlocale() fails and Wine falls back to code page 1252. So the locales must exist.
mapfile -t locs < <(missing_locales)
if [ "${#locs[@]}" -gt 0 ]; then
  log "generating locales: ${locs[*]}"
  for l in "${locs[@]}"; do
    line="$l UTF-8"
    if grep -qE "^#? *${l//./\\.} UTF-8" /etc/locale.gen 2>/dev/null; then
      $SUDO sed -i -E "s/^# *(${l//./\\.} UTF-8)/\1/" /etc/locale.gen
    else
      echo "$line" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
  done
  $SUDO locale-gen >/dev/null
fi

# The 32-bit Wine loader needs a kernel that runs 32-bit user code. Some virtual machines run
# 64-bit user code only; there the x86 programs cannot be tested at all. Say so, but succeed.
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  log "note: this kernel does not run 32-bit programs; x86 Windows programs cannot run under Wine here"
fi
log "ok"

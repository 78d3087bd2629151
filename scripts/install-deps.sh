#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, and makes sure the host runs
# 32-bit x86 programs (Wine's 32-bit half needs them): where the kernel refuses them, it installs
# Debian's user-mode emulator from bookworm-backports and registers it with binfmt_misc. Safe to
# run again: it does nothing when everything is already there.
# KELMORA_I386_EMULATION=force registers the emulator even where 32-bit programs run natively, to
# reproduce an emulating host (undo: echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386).
set -euo pipefail
source "$(dirname "$0")/i386.sh"

packages=(
  cmake g++ make libgtest-dev libgmock-dev
  g++-mingw-w64-i686-win32 mingw-w64-i686-dev
  wine wine64 wine32:i386
  xvfb xdotool imagemagick fonts-wine
  python3 python3-pefile locales
  nsis osslsigncode liblnk-utils openssl
  softhsm2 opensc libengine-pkcs11-openssl python3-pykcs11
  clang libclang-rt-14-dev clang-tidy cppcheck
)

# The benchmark's tools, only when asked for.
if [ "${1:-}" = bench ]; then
  packages+=(gnuplot-nox g++-mingw-w64-i686-posix)
fi

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

# Wine takes the ANSI code page from the locale, and reads file names through it: the tests run
# the launcher under code pages 932 (Japanese), 936 and 950 (Chinese), 949 (Korean) and under UTF-8 (Hindi
# has no code page of its own).
# Made after the packages, so that the locales package is there.
make_locales() {
  local name
  for name in ja_JP hi_IN zh_CN zh_TW ko_KR; do
    locale -a 2>/dev/null | grep -qx "$name.utf8" || "${sudo_cmd[@]}" localedef -i "$name" -f UTF-8 "$name.UTF-8"
  done
}

die() {
  echo "install-deps: $*" >&2
  exit 1
}

# Does the host run 32-bit programs, and fast enough? Decided first, so that a host where this
# cannot be fixed stops before anything is installed or built.
emulator=no
why=""
handler=$(i386_handler)
if ! i386_probe; then
  emulator=needed
  why="this host does not run 32-bit x86 programs (a static i386 test program was refused), \
and Wine's 32-bit half needs them"
elif [ -n "$handler" ] && ! i386_emulator_is_fast "$(i386_handler_interpreter "$handler")"; then
  emulator=needed
  why="the registered 32-bit handler $(i386_handler_interpreter "$handler") \
($(i386_emulator_version "$(i386_handler_interpreter "$handler")")) is too slow for Wine"
elif [ -z "$handler" ] && [ "${KELMORA_I386_EMULATION:-}" = force ]; then
  emulator=needed
  why="KELMORA_I386_EMULATION=force asks for the emulator although 32-bit programs run natively"
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if { ((${#missing[@]})) || [ "$emulator" = needed ]; } && ((${#sudo_cmd[@]})) &&
   ! command -v sudo >/dev/null; then
  if [ "$emulator" = needed ]; then
    die "$why. Setting up Debian's emulator (qemu-user from bookworm-backports, registered with" \
      "binfmt_misc) needs root: run this script as root, or install sudo."
  fi
  die "missing packages (${missing[*]}) and neither root nor sudo to install them: run this" \
    "script as root, or install sudo."
fi
if [ "$emulator" = needed ] && [ ! -e "$I386_BINFMT/register" ] &&
   ! "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$I386_BINFMT" 2>/dev/null; then
  die "$why, and binfmt_misc, through which an emulator would run them, is not available" \
    "($I386_BINFMT cannot be mounted). In a container, ask for" \
    "one with IA-32 emulation on, or whose host registers /usr/bin/qemu-i386 (qemu-user" \
    "${I386_EMULATOR_MIN_MAJOR}.0 or later) for i386 ELF programs with the F flag."
fi

# A mirror caught mid-sync fails one index now and then (seen: the security index for i386,
# served at an older size than the signed release file names). Try again a few times first.
update_log=$(mktemp)
trap 'rm -f "$update_log" "$update_log.xz"' EXIT
apt_update() {
  local attempt
  for attempt in 1 2 3; do
    if "${sudo_cmd[@]}" apt-get update -qq 2>"$update_log"; then return 0; fi
    cat "$update_log" >&2
    if ((attempt < 3)); then sleep $((attempt * 5)); fi
  done
  return 1
}

install() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# The archive that apt already uses for bookworm, as the source of bookworm-backports too.
add_backports() {
  local uri
  grep -rqs -- 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  uri=$(awk '/^URIs:/ {u=$2} /^Suites:/ && / bookworm( |$)/ {print u; exit}' \
          /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  if [ -z "$uri" ]; then
    uri=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list \
            /etc/apt/sources.list.d/*.list 2>/dev/null || true)
  fi
  [ -n "$uri" ] || die "apt names no archive for bookworm, to take bookworm-backports from"
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
    "$uri" /usr/share/keyrings/debian-archive-keyring.gpg |
    "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/kelmora-bookworm-backports.sources >/dev/null
}

# qemu-user from bookworm-backports, registered for i386 ELF programs in place of any handler
# there: the F flag opens the emulator at registration, so it serves in every mount namespace.
set_up_emulator() {
  local conf=/usr/share/qemu/binfmt.d/qemu-i386.conf entry type offset magic mask
  echo "install-deps: $why; setting up the emulator"
  if ! i386_emulator_is_fast "$I386_EMULATOR"; then
    add_backports
    apt_update || die "apt-get update failed"
    install -t bookworm-backports qemu-user ||
      die "qemu-user could not be installed from bookworm-backports"
    i386_emulator_is_fast "$I386_EMULATOR" ||
      die "$I386_EMULATOR is $(i386_emulator_version "$I386_EMULATOR"); need ${I386_EMULATOR_MIN_MAJOR}.0 or later"
  fi
  while entry=$(i386_handler) && [ -n "$entry" ]; do
    echo -1 | "${sudo_cmd[@]}" tee "$entry" >/dev/null
  done
  if [ -e "$I386_BINFMT/$I386_HANDLER_NAME" ]; then
    echo -1 | "${sudo_cmd[@]}" tee "$I386_BINFMT/$I386_HANDLER_NAME" >/dev/null
  fi
  if [ "$(cat "$I386_BINFMT/status")" != enabled ]; then
    echo 1 | "${sudo_cmd[@]}" tee "$I386_BINFMT/status" >/dev/null
  fi
  IFS=: read -r _ _ type offset magic mask _ <"$conf"
  printf ':%s:%s:%s:%s:%s:%s:F\n' "$I386_HANDLER_NAME" "$type" "$offset" "$magic" "$mask" \
    "$I386_EMULATOR" | "${sudo_cmd[@]}" tee "$I386_BINFMT/register" >/dev/null
  i386_probe || die "32-bit programs still do not run with $I386_EMULATOR registered"
  echo "install-deps: registered $(i386_emulator_version "$I386_EMULATOR" | sed 's/ *(.*//')" \
    "for 32-bit x86 programs"
}

if ((${#missing[@]})) && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

install_missing() {
  apt_update || true
  if install "${missing[@]}"; then return 0; fi
  # Still out of sync: without the i386 security index, the i386 halves of multi-arch libraries
  # cannot match the amd64 halves already installed, and wine32 cannot be installed. Fall back
  # to the index as the mirror serves it (one sync behind, not checked against the release file)
  # and say so loudly; the packages themselves are still checked against that index.
  local fallback=0 url list
  while read -r url; do
    list="/var/lib/apt/lists/$(echo "${url%.xz}" | sed -e 's|^https\?://||' -e 's|/|_|g')"
    echo "install-deps: WARNING: using the unverified index $url (mirror sync in progress)" >&2
    "${sudo_cmd[@]}" /usr/lib/apt/apt-helper download-file "$url" "$update_log.xz" >/dev/null
    xz -dc "$update_log.xz" | "${sudo_cmd[@]}" tee "$list" >/dev/null
    fallback=1
  done < <(grep -o 'Failed to fetch [^ ]*Packages\.xz  File has unexpected size' "$update_log" |
             awk '{print $4}' | sort -u)
  ((fallback)) || exit 1
  install "${missing[@]}"
}

# The emulator first, so that whatever the packages' own scripts start finds 32-bit programs
# running.
if [ "$emulator" = needed ]; then set_up_emulator; fi
if ((${#missing[@]})); then install_missing; fi
make_locales

# The proof that counts: Wine's own 32-bit loader starts.
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  die "Wine's 32-bit loader (/usr/lib/wine/wine) does not start on this host"
fi

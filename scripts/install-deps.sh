#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine. Safe to run again:
# it does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make libgtest-dev libgmock-dev
  g++-mingw-w64-i686-win32 mingw-w64-i686-dev
  wine wine64 wine32:i386
  xvfb xdotool imagemagick fonts-wine
  python3 python3-pefile locales
  nsis osslsigncode liblnk-utils openssl
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

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  make_locales
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index now and then (seen: the security index for i386,
# served at an older size than the signed release file names). Try again a few times first.
update_log=$(mktemp)
trap 'rm -f "$update_log" "$update_log.xz"' EXIT
for attempt in 1 2 3; do
  if "${sudo_cmd[@]}" apt-get update -qq 2>"$update_log"; then break; fi
  cat "$update_log" >&2
  if ((attempt < 3)); then sleep $((attempt * 5)); fi
done

install() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
if install; then
  make_locales
  exit 0
fi

# Still out of sync: without the i386 security index, the i386 halves of multi-arch libraries
# cannot match the amd64 halves already installed, and wine32 cannot be installed. Fall back to
# the index as the mirror serves it (one sync behind, not checked against the release file) and
# say so loudly; the packages themselves are still checked against that index.
fallback=0
while read -r url; do
  list="/var/lib/apt/lists/$(echo "${url%.xz}" | sed -e 's|^https\?://||' -e 's|/|_|g')"
  echo "install-deps: WARNING: using the unverified index $url (mirror sync in progress)" >&2
  "${sudo_cmd[@]}" /usr/lib/apt/apt-helper download-file "$url" "$update_log.xz" >/dev/null
  xz -dc "$update_log.xz" | "${sudo_cmd[@]}" tee "$list" >/dev/null
  fallback=1
done < <(grep -o 'Failed to fetch [^ ]*Packages\.xz  File has unexpected size' "$update_log" |
           awk '{print $4}' | sort -u)
((fallback)) || exit 1
install
make_locales

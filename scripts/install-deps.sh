#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine. Safe to run again:
# it does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make libgtest-dev libgmock-dev
  g++-mingw-w64-i686-win32 mingw-w64-i686-dev
  wine wine64 wine32:i386
  xvfb xdotool imagemagick fonts-wine
  python3 python3-pefile
)

# The benchmark's tools, only when asked for.
if [ "${1:-}" = bench ]; then
  packages+=(hyperfine gnuplot-nox)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

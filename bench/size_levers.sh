#!/usr/bin/env bash
# Builds KELMORA.exe's sources with one lever changed at a time and prints "name<TAB>bytes"
# for each, stripped, so the cost and gain of each lever can be read side by side.
set -euo pipefail
cd "$(dirname "$0")/.."

sources=(launcher/text.cpp launcher/settings.cpp launcher/child_process.cpp
         launcher/runtime_selection.cpp launcher/launch_sequence.cpp launcher/failure_reporting.cpp
         launcher/entry_point.cpp platform/win32/platform_win32.cpp platform/win32/dialogs_win32.cpp)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
i686-w64-mingw32-windres -I resources resources/kelmora.rc -O coff -o "$work/resources.o"

base_link=(-static -static-libgcc -static-libstdc++ -mwindows -s
           -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware -Wl,--no-insert-timestamp)

# variant NAME THREAD_MODEL "COMPILE FLAGS" "LINK FLAGS"
variant() {
  local name=$1 model=$2 cflags=$3 lflags=$4
  local compiler=i686-w64-mingw32-g++-$model
  local dir="$work/$name"
  mkdir -p "$dir"
  for source in "${sources[@]}"; do
    # shellcheck disable=SC2086
    $compiler -std=c++20 -I. $cflags -c "$source" -o "$dir/$(basename "$source" .cpp).o"
  done
  # shellcheck disable=SC2086
  $compiler "$dir"/*.o "$work/resources.o" -o "$dir/KELMORA.exe" "${base_link[@]}" $lflags
  printf '%s\t%s\n' "$name" "$(stat -c %s "$dir/KELMORA.exe")"
}

variant "posix threads, -O2"                         posix "-O2" ""
variant "win32 threads, -O2"                         win32 "-O2" ""
variant "win32 threads, -Os"                         win32 "-Os" ""
variant "win32 threads, -Os, section GC"             win32 "-Os -ffunction-sections -fdata-sections" "-Wl,--gc-sections"
sources+=(platform/win32/quiet_terminate.cpp)
variant "... and the quiet terminate handler (shipped)" win32 "-Os -ffunction-sections -fdata-sections" "-Wl,--gc-sections"

#!/usr/bin/env bash
# Builds KELMORA.exe's sources with one more lever at a time and prints "name<TAB>bytes" for
# each, stripped, so the gain of each lever can be read row by row. The last row is the build
# that cmake/windows.cmake makes.
set -euo pipefail
cd "$(dirname "$0")/.."

sources=(launcher/text.cpp launcher/settings.cpp launcher/child_process.cpp
         launcher/runtime_selection.cpp launcher/launch_sequence.cpp launcher/failure_reporting.cpp
         launcher/entry_point.cpp platform/profile_reader.cpp platform/win32/platform_win32.cpp
         platform/win32/dialogs_win32.cpp)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
i686-w64-mingw32-windres -I resources resources/kelmora.rc -O coff -o "$work/resources.o"

base_link=(-static -static-libgcc -static-libstdc++ -mwindows -s
           -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware -Wl,--no-insert-timestamp)

# variant NAME THREAD_MODEL "COMPILE FLAGS" "LINK FLAGS"; compile flags are given to the link
# too, as link-time optimisation needs them there.
variant() {
  local name=$1 model=$2 cflags=$3 lflags=$4
  local compiler=i686-w64-mingw32-g++-$model
  local dir="$work/$((++built))"
  mkdir -p "$dir"
  for source in "${sources[@]}"; do
    # shellcheck disable=SC2086
    $compiler -std=c++20 -DNDEBUG -I. $cflags -c "$source" -o "$dir/$(basename "$source" .cpp).o"
  done
  # shellcheck disable=SC2086
  $compiler "$dir"/*.o "$work/resources.o" -o "$dir/KELMORA.exe" "${base_link[@]}" $cflags $lflags
  printf '%s\t%s\n' "$name" "$(stat -c %s "$dir/KELMORA.exe")"
}

built=0
gc="-ffunction-sections -fdata-sections"
variant "posix threads, -O2"                              posix "-O2" ""
variant "win32 threads, -O2"                              win32 "-O2" ""
variant "win32 threads, -Os"                              win32 "-Os" ""
variant "... section GC"                                  win32 "-Os $gc" "-Wl,--gc-sections"
sources+=(launcher/runtime_failures.cpp)
variant "... own operator new and std::__throw_* hooks"   win32 "-Os $gc" "-Wl,--gc-sections"
variant "... -fno-exceptions, no unwind tables"           win32 "-Os $gc -fno-exceptions -fno-asynchronous-unwind-tables" "-Wl,--gc-sections"
variant "... -fno-threadsafe-statics"                     win32 "-Os $gc -fno-exceptions -fno-asynchronous-unwind-tables -fno-threadsafe-statics" "-Wl,--gc-sections"
variant "... -flto (shipped)"                             win32 "-Os $gc -fno-exceptions -fno-asynchronous-unwind-tables -fno-threadsafe-statics -flto" "-Wl,--gc-sections"

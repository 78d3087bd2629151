#!/usr/bin/env bash
# clang-tidy (bugprone, cert and performance checks, as .clang-tidy sets them) and cppcheck on
# the project's own code: the launcher, both platforms, the tests and the test programs. Any
# finding fails the run; a finding that is the Windows API's own contract is silenced where it
# stands, with the reason beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset native -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --preset mingw -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null

# The logic, the fake platform and the unit tests, as the native build compiles them.
# (The hooks of the Windows build without exceptions go with the Windows side below.)
clang-tidy -p build/native --quiet $(ls launcher/*.cpp | grep -v runtime_failures) platform/*.cpp \
  platform/fake/*.cpp tests/unit/*.cpp tests/hooks/*.cpp \
  2> >(grep -v ' warnings\? generated' >&2)

# The Windows side, as the cross build compiles it: clang told the target and given MinGW's
# own C++ headers, since it would not find them from the cross compiler's name.
mingw_includes=()
while read -r dir; do
  mingw_includes+=(--extra-arg-before=-isystem"$(realpath "$dir")")
done < <(echo | i686-w64-mingw32-g++-win32 -E -x c++ - -v 2>&1 |
           sed -n '/#include <...> search starts here:/,/End of search list/p' | grep '^ ' |
           grep -v include-fixed)
clang-tidy -p build/mingw --quiet --extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc \
  "${mingw_includes[@]}" platform/win32/*.cpp launcher/entry_point.cpp launcher/runtime_failures.cpp \
  tests/e2e/programs/*.cpp 2> >(grep -v ' warnings\? generated' >&2)

cppcheck --quiet --enable=warning,performance,portability --library=googletest --std=c++20 \
  --language=c++ --error-exitcode=1 --inline-suppr --suppress=missingIncludeSystem -I . \
  launcher platform tests/unit tests/hooks tests/fuzz tests/e2e/programs

echo "static analysis: no findings"

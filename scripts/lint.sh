#!/usr/bin/env bash
# Static analysis of every source file: clang-tidy with the checks in
# .clang-tidy (the Win32 files through the mingw-w64 headers) and cppcheck.
# Any finding fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/native/compile_commands.json ] || cmake --preset native >/dev/null
[ -f build/win32/compile_commands.json ] || cmake --preset win32 >/dev/null

mapfile -t native < <(git ls-files '*.cpp' | grep -v -e '_win32' -e '_fuzz' -e 'tests/e2e/')
mapfile -t windows < <(git ls-files '*_win32*.cpp' 'tests/e2e/*.cpp')
mapfile -t fuzz < <(git ls-files '*_fuzz.cpp')

# clang parses the Win32 files as mingw-w64 does, from the cross compiler's own headers.
mingw=(--extra-arg=--target=i686-w64-mingw32)
while read -r dir; do
  case $dir in *include/c++* | *mingw32/include) mingw+=("--extra-arg=-isystem$(realpath "$dir")") ;; esac
done < <(echo | i686-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
         sed -n '/search starts here/,/End of search/p' | grep '^ /')

echo "lint: clang-tidy"
run-clang-tidy -quiet -j "$(nproc)" -p build/native "${native[@]}" >build/clang-tidy.log 2>&1 ||
  { grep -E -A3 'warning:|error:' build/clang-tidy.log; exit 1; }
clang-tidy --quiet -p build/win32 "${mingw[@]}" "${windows[@]}" >>build/clang-tidy.log 2>&1 ||
  { grep -E -A3 'warning:|error:' build/clang-tidy.log; exit 1; }
# The fuzz targets are built by the fuzz preset alone; check them with plain flags.
clang-tidy --quiet "${fuzz[@]}" -- -std=c++17 -I. >>build/clang-tidy.log 2>&1 ||
  { grep -E -A3 'warning:|error:' build/clang-tidy.log; exit 1; }

echo "lint: cppcheck"
cppcheck --enable=warning,performance,portability,style --language=c++ --std=c++17 \
  --library=googletest --inline-suppr --suppress=missingIncludeSystem --error-exitcode=1 \
  --quiet -I . $(git ls-files '*.cpp')

#!/usr/bin/env bash
# Builds and tests everything, installing what is missing first:
#   native    unit tests on the dry-run platform, then once more under valgrind;
#             the benchmarks are built and run once, so that they cannot rot
#   sanitize  the same unit tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz      each fuzz target for a few seconds from its seeds
#   lint      clang-tidy and cppcheck
#   win32     the Windows build's unit, platform and end-to-end tests under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"
echo "benchmarks: one iteration each"
build/native/launch_bench --benchmark_min_time=0 >/dev/null
echo "valgrind: unit tests"
valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  build/native/unit_tests --gtest_brief=1

cmake --preset sanitize
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

scripts/package.sh
scripts/fuzz.sh 6

cmake --preset win32
cmake --build --preset win32 -j "$jobs"
scripts/lint.sh

. scripts/wine_env.sh
presets=("$windows_preset")
if [ "$windows_preset" = win64 ]; then
  echo "NOTE: so the 32-bit and WoW64 runs are skipped here; the file format is still checked."
  cmake --preset win64
  cmake --build --preset win64 -j "$jobs"
  python3 tests/e2e/e2e_test.py --starter build/win32/starter.exe --probe build/win32/probe.exe \
    --check build/win32/starter-check.exe executable
fi

# One booted prefix serves as the template; the unit tests and every
# end-to-end scenario run in copies of it, each with its own wineserver.
work=$(mktemp -d "${TMPDIR:-/tmp}/starter-test-XXXXXX")
cleanup() {
  for prefix in "$work"/*/; do WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
boot() { python3 -c 'import sys; sys.path.insert(0, "tests/e2e"); import wine_service; wine_service.boot_prefix(sys.argv[1])' "$1"; }
for preset in "${presets[@]}"; do
  boot "$work/$preset"
  cp -a "$work/$preset" "$work/$preset-unit"
  (cd "build/$preset" && cpack >/dev/null)  # the release zip, for e2e.release
  WINEPREFIX="$work/$preset-unit" WINEARCH=$preset STARTER_WINE_TEMPLATE="$work/$preset" \
    ctest --preset "$preset" -j "$jobs"
done

# Most machines run 64-bit Windows, where the 32-bit service runs under WoW64:
# the scenarios for the three rules and code page 932 once more in a 64-bit prefix.
if [ "$windows_preset" = win32 ]; then
  STARTER_WINEARCH=win64 boot "$work/wow64"
  STARTER_WINEARCH=win64 STARTER_WINE_TEMPLATE="$work/wow64" python3 tests/e2e/e2e_test.py \
    --starter build/win32/starter.exe --probe build/win32/probe.exe \
    --check build/win32/starter-check.exe three_rules code_page_932
fi

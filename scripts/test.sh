#!/usr/bin/env bash
# Builds both presets and runs every test: the native unit tests, then the
# Windows build's unit, platform and end-to-end tests under Wine. Installs
# what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

cmake --preset win32
cmake --build --preset win32 -j "$jobs"

# One booted prefix serves as the template; the unit tests and every
# end-to-end scenario run in copies of it, each with its own wineserver.
work=$(mktemp -d "${TMPDIR:-/tmp}/starter-test-XXXXXX")
cleanup() {
  for prefix in "$work"/*/; do WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
python3 -c 'import sys; sys.path.insert(0, "tests/e2e"); import wine_service; wine_service.boot_prefix(sys.argv[1])' "$work/template"
cp -a "$work/template" "$work/unit"

WINEPREFIX="$work/unit" STARTER_WINE_TEMPLATE="$work/template" ctest --preset win32 -j "$jobs"

#!/usr/bin/env bash
# Runs the real service under Wine's service control manager with a sample
# launch list and shows what it started. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine_env.sh
cmake --preset "$windows_preset" >/dev/null
cmake --build --preset "$windows_preset" -j "$(nproc)" --target starter probe >/dev/null
exec python3 scripts/demo.py "build/$windows_preset/starter.exe" "build/$windows_preset/probe.exe"

#!/usr/bin/env bash
# Runs the real service under Wine's service control manager with a sample
# launch list and shows what it started. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)" --target starter probe >/dev/null
exec python3 scripts/demo.py build/win32/starter.exe build/win32/probe.exe

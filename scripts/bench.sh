#!/usr/bin/env bash
# Benchmarks, after installing what is missing and building both presets:
#   1. the in-process cost per line, through the dry-run platform (Google Benchmark);
#   2. the real service under Wine's service control manager against a bare
#      CreateProcessA loop with the same 200 starts, in one prefix.
# Extra arguments go to the Wine benchmark (--runs N, --lines N).
# docs/performance.md explains the figures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs" --target launch_bench
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target starter probe starter-check baseline

echo "== cost per line (build/native/launch_bench)"
build/native/launch_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true

echo "== service against a bare CreateProcessA loop, under Wine"
python3 bench/wine_bench.py --starter build/win32/starter.exe --probe build/win32/probe.exe \
  --check build/win32/starter-check.exe --baseline build/win32/baseline.exe --lines 200 "$@"

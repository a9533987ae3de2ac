#!/usr/bin/env bash
# Benchmarks, after installing what is missing and building both presets:
#   1. the in-process cost per line, through the dry-run platform (Google Benchmark);
#   2. the real service under Wine's service control manager against two bare
#      CreateProcessA loops with the same 200 starts, one a minimal service and
#      one a plain program, in one prefix; its last line is
#      "ratio vs service baseline: R (95% CI L-H)";
#   3. starter-check over a list of a million lines: lines a second and peak
#      memory, natively and under Wine.
# Extra arguments go to the Wine benchmark (--runs N, --lines N).
# docs/performance.md explains the figures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine_env.sh
jobs=$(nproc)
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs" --target launch_bench
cmake --preset "$windows_preset" >/dev/null
cmake --build --preset "$windows_preset" -j "$jobs" \
  --target starter probe starter-check baseline service_baseline

echo "== cost per line (build/native/launch_bench)"
build/native/launch_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true

echo "== service against two bare CreateProcessA loops, under Wine"
build=build/$windows_preset
python3 bench/wine_bench.py --starter $build/starter.exe --probe $build/probe.exe \
  --check $build/starter-check.exe --baseline $build/baseline.exe \
  --service-baseline $build/service_baseline.exe --lines 200 "$@"

echo "== starter-check over a list of a million lines, natively and under Wine"
cmake --build --preset native -j "$jobs" --target starter-check
python3 bench/check_bench.py --tool build/native/starter-check --exe $build/starter-check.exe

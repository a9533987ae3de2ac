#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for the given seconds (default 60), from the seeds in fuzz/,
# with a fixed seed. Any crash, sanitizer report, broken contract or input that
# runs over 10 s fails the script and leaves the input in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target bounded_text_fuzz compose_command_fuzz launch_list_fuzz

mkdir -p build/fuzz/artifacts
for target in bounded_text compose_command launch_list; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  echo "fuzz: $target for ${seconds}s"
  if ! build/fuzz/${target}_fuzz -seed=1 -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$target-" \
      "$corpus" "fuzz/$target" >"build/fuzz/$target.log" 2>&1; then
    tail -n 40 "build/fuzz/$target.log"
    echo "fuzz: $target FAILED; the input is in build/fuzz/artifacts" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "build/fuzz/$target.log" | sed "s/^/fuzz: $target /"
done

#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS_EACH]      (default 30)
# New inputs go to build/fuzz/corpus/<target>; the committed seeds are read.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
bash scripts/setup.sh
cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTA_SANITIZE=ON -DORVANTA_FUZZ=ON >/dev/null
cmake --build build/fuzz -j"$(nproc)"
for name in title_lines package_records pe_resources delta_decoder; do
  mkdir -p "build/fuzz/corpus/$name"
  echo "fuzzing $name for ${seconds}s"
  # A crash fails the run (its input is left in build/fuzz as crash-*).
  status=0
  "build/fuzz/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build/fuzz/ "build/fuzz/corpus/$name" "tests/fuzz/corpus/$name" \
    >"build/fuzz/$name.log" 2>&1 || status=$?
  grep -E "stat::number_of_executed_units|ERROR|SUMMARY|Done" "build/fuzz/$name.log" || true
  test "$status" -eq 0
done

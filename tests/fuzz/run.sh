#!/usr/bin/env bash
# Builds the fuzz harnesses with clang in build-fuzz/ and runs each for a while, starting from
# its seed corpus in tests/fuzz/corpus/ (read only; new inputs go to build-fuzz/corpus/). A crash
# stops the script with the fuzzer's report; the input that caused it is left in
# build-fuzz/artifacts/ to be added to the seed corpus with its fix.
#   tests/fuzz/run.sh [SECONDS]    default 60 per harness
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
scripts/install-deps.sh --fuzz

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTORRA_FUZZ=ON \
  -DVANTORRA_BUILD_APP=OFF -DVANTORRA_BUILD_TESTS=OFF -DVANTORRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target jpeg_reader_fuzzer photo_reader_fuzzer parameter_file_fuzzer \
  panorama_section_fuzzer

mkdir -p "$build/artifacts"
for harness in jpeg_reader_fuzzer photo_reader_fuzzer parameter_file_fuzzer panorama_section_fuzzer; do
  corpus="$build/corpus/$harness"
  mkdir -p "$corpus"
  echo "fuzzing ${harness%_fuzzer} for $seconds s"
  # New inputs go to the scratch corpus; the repository's seeds are only read.
  log="$build/$harness.log"
  if ! "$build/tests/fuzz/$harness" -max_total_time="$seconds" -rss_limit_mb=3000 -timeout=30 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$harness-" \
      "$corpus" "tests/fuzz/corpus/${harness%_fuzzer}" >"$log" 2>&1; then
    cat "$log"
    exit 1
  fi
  tail -n 8 "$log"
done

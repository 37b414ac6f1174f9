#!/usr/bin/env bash
# Installs what is missing, builds Vantorra and runs every test.
#   scripts/test.sh              Release build in build/
#   scripts/test.sh --sanitize   address and undefined-behaviour sanitizer build in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build
flags=(-DCMAKE_BUILD_TYPE=Release)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTORRA_SANITIZE=ON -DVANTORRA_BUILD_BENCH=OFF)
fi
jobs=$(nproc)
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1
ctest --test-dir "$build" --output-on-failure -j "$jobs"

#!/usr/bin/env bash
# Builds Vantorra (Release, in build/) and stitches the example photographs into
# build/example/pano.jpg and build/example/pano.txt.
#   scripts/stitch-example.sh [extra vantorra-cli options, e.g. --width 2000 --log console]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only the command-line program: the tests, benchmarks and desktop application are not needed.
if ! cmake --build build -j "$(nproc)" --target vantorra-cli; then
  echo "building vantorra-cli failed (see the messages above)" >&2
  exit 1
fi
cli=build/cli/vantorra-cli

shopt -s nullglob
images=(examples/*.jpg)
if [ ${#images[@]} -lt 2 ]; then
  echo "no example photographs in examples/" >&2
  exit 1
fi

output=build/example
status=0
"$cli" -o "$output" "$@" "${images[@]}" || status=$?
if [ "$status" -ne 0 ]; then
  echo "vantorra-cli failed with exit status $status" >&2
  exit "$status"
fi
echo "Example panorama: $root/$output/pano.jpg (cameras in $root/$output/pano.txt)"

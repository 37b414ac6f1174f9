#!/usr/bin/env bash
# Checksums of what the command-line tool writes for the shared view sets, case by case, with one
# thread and with several: a change that must keep every panorama's bytes prints the same lines
# before and after it.
#   bench/output_sums.sh > before.txt; (change, build) ; bench/output_sums.sh | diff before.txt -
# VANTORRA_CLI names the build to run instead of build/cli/vantorra-cli.
set -uo pipefail
cd "$(dirname "$0")/.."
cli=${VANTORRA_CLI:-build/cli/vantorra-cli}
data=../shared/data
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 1; }
[ -d "$data" ] || { echo "no view sets at $data" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

sums() {  # NAME THREADS ARGS... -> "NAME threads=N exit=E SUM-OF-EVERY-OUTPUT..."
    local name=$1 threads=$2
    shift 2
    rm -rf "$out/run" && mkdir -p "$out/run"
    "$cli" --quiet --threads "$threads" -o "$out/run" "$@" >/dev/null 2>&1
    local code=$?
    local line="$name threads=$threads exit=$code"
    for f in pano.jpg pano.tif pano.png pano.txt; do
        [ -f "$out/run/$f" ] && line+=" $f=$(sha256sum <"$out/run/$f" | cut -c1-16)"
    done
    echo "$line"
}

both() {  # NAME ARGS...
    local name=$1
    shift
    sums "$name" 1 "$@"
    sums "$name" 0 "$@"
}

shopt -s nullglob
for set in row6 grid6 portrait4 distractor unrelated pano360 lens5 people6 soft5 many96; do
    [ -d "$data/$set" ] && both "$set" "$data/$set"/*.jpg
done
both "row6 --blend none" --blend none "$data"/row6/*.jpg
both "row6 --blend linear" --blend linear "$data"/row6/*.jpg
both "row6 --gain --bands 4" --gain --bands 4 "$data"/row6/*.jpg
both "row6 --no-refine --rotate cw" --no-refine --rotate cw "$data"/row6/*.jpg
both "row6 --crop -40,40,-20,20 --orient 5,3,2" --crop -40,40,-20,20 --orient 5,3,2 "$data"/row6/*.jpg
both "perf8" "$data"/perf8/*.jpg
both "perf8 --scale 100" --scale 100 "$data"/perf8/*.jpg
both "pano360 --width 12000 --blend linear" --width 12000 --blend linear "$data"/pano360/*.jpg
both "examples" examples/*.jpg

# A saved parameter file rendered again, without matching.
mkdir -p "$out/saved"
"$cli" --quiet -o "$out/saved" "$data"/row6/*.jpg >/dev/null 2>&1
both "row6 pano.txt --scale 40" --scale 40 "$out/saved/pano.txt"

#!/usr/bin/env bash
# Whole runs of the command-line tool on the shared view sets: wall time, CPU time (user +
# system) and peak resident memory of each, best of a few tries. Run it on an otherwise idle
# machine after building (Release):
#   bench/whole_runs.sh [TRIES] [OTHER_CLI]     (default 3 tries)
# With OTHER_CLI (another build's vantorra-cli, say the one before a change), the two builds take
# turns try by try and both are printed, the other first: a virtual machine's speed drifts from
# minute to minute, so only runs taken side by side compare. The median of the tries is printed
# beside the best.
# VANTORRA_CLI names the build to measure instead of build/cli/vantorra-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${VANTORRA_CLI:-build/cli/vantorra-cli}
data=../shared/data
tries=${1:-3}
other=${2:-}
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 1; }
[ -z "$other" ] || [ -x "$other" ] || { echo "no program at $other" >&2; exit 1; }
[ -d "$data" ] || { echo "no view sets at $data" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

once() {  # CLI SET OPTIONS... -> "wall cpu kb"
    local program=$1 set=$2
    shift 2
    local line wall user sys kb
    line=$( { /usr/bin/time -f "%e %U %S %M" "$program" --quiet -o "$out" "$@" "$data/$set"/*.jpg >/dev/null; } 2>&1 | tail -n 1)
    read -r wall user sys kb <<<"$line"
    echo "$wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $kb"
}

report() {  # LABEL NAME FILE-OF-"wall cpu kb"-LINES
    sort -n "$3" | awk -v label="$1" -v name="$2" '
        { wall[NR] = $1; cpu[NR] = $2; kb[NR] = $3 }
        END {
            m = int((NR + 1) / 2)
            printf "%-6s %-34s %6.2f s wall (median %5.2f) %7.2f s CPU %6d MB peak\n",
                   label, name, wall[1], wall[m], cpu[1], kb[1] / 1024
        }'
}

run() {  # NAME SET OPTIONS...
    local name=$1 set=$2
    shift 2
    : >"$out/this" && : >"$out/other"
    for _ in $(seq "$tries"); do
        [ -z "$other" ] || once "$other" "$set" "$@" >>"$out/other"
        once "$cli" "$set" "$@" >>"$out/this"
    done
    [ -z "$other" ] || report other "$name" "$out/other"
    report this "$name" "$out/this"
}

run "row6, default options" row6
run "perf8, default options" perf8
run "perf8 --scale 100" perf8 --scale 100
run "perf8 --scale 100 --memory 4" perf8 --scale 100 --memory 4
run "pano360 --width 30000" pano360 --width 30000

#!/usr/bin/env bash
# Whole runs of the command-line tool on the shared view sets: wall time, CPU time (user +
# system) and peak resident memory of each, best of a few tries. Run it on an otherwise idle
# machine after building (Release):
#   bench/whole_runs.sh [TRIES]        (default 3)
# VANTORRA_CLI names another build's command-line tool, to compare two builds in one sitting.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${VANTORRA_CLI:-build/cli/vantorra-cli}
data=../shared/data
tries=${1:-3}
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 1; }
[ -d "$data" ] || { echo "no view sets at $data" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

run() {  # NAME SET OPTIONS...
    local name=$1 set=$2
    shift 2
    local best=""
    for _ in $(seq "$tries"); do
        local line
        line=$( { /usr/bin/time -f "%e %U %S %M" "$cli" --quiet -o "$out" "$@" "$data/$set"/*.jpg >/dev/null; } 2>&1 | tail -n 1)
        read -r wall user sys kb <<<"$line"
        local cpu
        cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
        if [ -z "$best" ] || awk -v a="$wall" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
            best="$wall $cpu $kb"
        fi
    done
    read -r wall cpu kb <<<"$best"
    printf '%-34s %8.2f s wall %8.2f s CPU %8d MB peak\n' "$name" "$wall" "$cpu" "$((kb / 1024))"
}

run "row6, default options" row6
run "perf8, default options" perf8
run "perf8 --scale 100" perf8 --scale 100
run "perf8 --scale 100 --memory 4" perf8 --scale 100 --memory 4
run "pano360 --width 30000" pano360 --width 30000

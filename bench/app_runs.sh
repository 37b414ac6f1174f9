#!/usr/bin/env bash
# The desktop application against the command-line tool on the shared view sets, with the same
# options: wall time and peak memory of each, and for the application the longest time its window
# went without handling events and the time it took to close. Under a virtual X server:
#   bench/app_runs.sh [TRIES]        (default 1)
# VANTORRA_CLI and VANTORRA_APP_RUN name other builds of vantorra-cli and bench/app_run. Each
# case checks that the application stayed within the memory budget plus 150 MB and took at most
# 1.2 times the tool's time, and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${VANTORRA_CLI:-build/cli/vantorra-cli}
app=${VANTORRA_APP_RUN:-build/bench/app_run}
data=$(pwd)/../shared/data
tries=${1:-1}
for program in "$cli" "$app"; do [ -x "$program" ] || { echo "build $program first" >&2; exit 1; }; done
[ -d "$data" ] || { echo "no view sets at $data" >&2; exit 1; }
cli=$(realpath "$cli")
app=$(realpath "$app")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A settings folder of its own, so remembered options do not change the runs.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_RUNTIME_DIR="$work/home/runtime"
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# The application writes beside the photographs: each set gets a folder of links to them.
photographs() {  # SET -> folder
    local folder="$work/sets/$1"
    if [ ! -d "$folder" ]; then
        mkdir -p "$folder"
        ln -s "$data/$1"/*.jpg "$folder/"
    fi
    echo "$folder"
}

case_() {  # NAME BUDGET_MB SET OPTIONS...
    local name=$1 budget=$2 set=$3
    shift 3
    local folder
    folder=$(photographs "$set")
    for _ in $(seq "$tries"); do
        rm -rf "$work/cli" && mkdir -p "$work/cli"
        local line wall kb
        line=$( { /usr/bin/time -f "%e %M" "$cli" --quiet -o "$work/cli" "$@" "$folder"/*.jpg >/dev/null; } 2>&1 | tail -n 1)
        read -r wall kb <<<"$line"
        rm -f "$folder"/pano.*
        local report seconds gap peak closing
        report=$(cd "$folder" && xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" "$app" "$@" ./*.jpg 2>/dev/null | head -n 1)
        read -r seconds _ _ gap _ _ _ _ peak _ _ closing _ <<<"$report"
        awk -v name="$name" -v wall="$wall" -v kb="$kb" -v s="$seconds" -v gap="$gap" -v peak="$peak" \
            -v closing="$closing" -v budget="$budget" 'BEGIN {
            memory = peak <= budget + 150 ? "ok" : "OVER";
            time = s <= 1.2 * wall ? "ok" : "SLOW";
            printf "%-28s cli %6.2f s %5d MB | app %6.2f s %5d MB, %5d ms frozen, %5.2f s to close | memory %s, time %s (%.2fx)\n",
                   name, wall, kb / 1024, s, peak, gap, closing, memory, time, s / wall
        }'
    done
}

case_ "perf8 --scale 100" 256 perf8 --scale 100
case_ "pano360 --width 30000" 256 pano360 --width 30000
case_ "pano360 --width 65000" 256 pano360 --width 65000

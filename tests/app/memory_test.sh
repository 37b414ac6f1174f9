#!/usr/bin/env bash
# The application's main window under a real X server (Xvfb), stitching the six-photograph row
# into a panorama far larger than its memory budget: the window must stream it to the file and
# keep only a reduced copy, so the process's peak memory stays within the budget plus 150 MB.
#   memory_test.sh APP_RUN PHOTO_DIR
# Exits 77 (skipped) only when no X server can be started here.
set -uo pipefail
app_run=$(realpath "$1")
photos=$2
budget_gb=0.1
width=20000

if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/vantorra-memory-XXXXXX")
trap 'rm -rf "$work"' EXIT
screen=(-s "-screen 0 1600x1000x24 -nolisten tcp")
if ! xvfb-run -a "${screen[@]}" true >"$work/xvfb.log" 2>&1; then
  echo "no X server could be started:"
  cat "$work/xvfb.log"
  exit 77
fi
cp "$photos"/*.jpg "$work/"
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
report=$(cd "$work" && timeout 600 xvfb-run -a "${screen[@]}" "$app_run" --memory "$budget_gb" --width "$width" ./*.jpg)
echo "$report"
first=$(head -n 1 <<<"$report")
status=$(sed -n 2p <<<"$report")
read -r _ _ _ _ _ _ _ _ peak _ <<<"$first"
case "$status" in
  "Panorama $width × "*) ;;
  *) echo "the panorama was not written at width $width"; exit 1 ;;
esac
# The whole panorama in memory would be width x height x 3 bytes: far over the allowance.
allowed=$(awk -v gb="$budget_gb" 'BEGIN { printf "%d", gb * 1024 + 150 }')
if [ "$peak" -gt "$allowed" ]; then
  echo "peak memory $peak MB is over the budget plus 150 MB ($allowed MB)"
  exit 1
fi
echo "peak memory $peak MB within $allowed MB"

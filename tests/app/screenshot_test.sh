#!/usr/bin/env bash
# The application under a real X server (Xvfb): started on the example photographs named on the
# command line, it stitches them, saves what the screen shows of its window and ends; the
# picture must show a preview, not a blank area.
#   screenshot_test.sh VANTORRA SCREENSHOT_CHECK EXAMPLES_DIR
# Exits 77 (skipped) only when no X server can be started here.
set -uo pipefail
app=$1
check=$2
examples=$3

if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/vantorra-screenshot-XXXXXX")
trap 'rm -rf "$work"' EXIT
screen=(-s "-screen 0 1600x1000x24 -nolisten tcp")
if ! xvfb-run -a "${screen[@]}" true >"$work/xvfb.log" 2>&1; then
  echo "no X server could be started:"
  cat "$work/xvfb.log"
  exit 77
fi

cp "$examples"/*.jpg "$work/"
# A settings folder of its own: the user's remembered options must not change the run.
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb VANTORRA_SCREENSHOT="$work/shot.png"
# In the sanitizer build, leaks the desktop's libraries keep until exit are not Vantorra's.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")" && pwd)/lsan_desktop.supp"
status=0
timeout 600 xvfb-run -a "${screen[@]}" "$app" "$work"/*.jpg || status=$?
if [ "$status" -ne 0 ]; then
  echo "vantorra ended with status $status"
  exit 1
fi
for file in pano.jpg pano.txt shot.png; do
  [ -s "$work/$file" ] || { echo "no $file was written"; exit 1; }
done
"$check" "$work/shot.png"

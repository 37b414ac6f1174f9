#!/usr/bin/env bash
# Makes the pictures of the desktop application in docs/ (the result panel after a run, the
# status window with Cancel, the Options dialog) from the example photographs, under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target vantorra_docs_screenshots
# A fixed, short folder name, as the output path shows in the pictures.
work="${TMPDIR:-/tmp}/vantorra-example"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cp examples/*.jpg "$work/"
mkdir -p docs
# The photographs' folder is the current one, so the panel shows a short output path.
(cd "$work" && HOME="$work" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" "$OLDPWD/build/tests/app/vantorra_docs_screenshots" \
  "$OLDPWD/docs" "$work"/*.jpg)
ls -l docs/*.png

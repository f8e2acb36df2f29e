#!/usr/bin/env bash
# Pictures of the add-in's dialogs as Windows shows them: the Windows
# workbench plays samples/pictures.txt on an X display of its own (Xvfb)
# and saves a PNG of each dialog into OUTDIR.
#   dialog-pictures.sh BUILD_DIR OUTDIR     e.g. build/win64 build/win64/pictures
# Copy them into docs/pictures when the dialogs change.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $# -ne 2 || ! -f "$1/bin/brindlemark-host.exe" ]]; then
  echo "usage: dialog-pictures.sh BUILD_DIR OUTDIR (BUILD_DIR holding bin/brindlemark-host.exe)" >&2
  exit 2
fi
build="$1"
out="$2"
# Only the pictures of an earlier run go: OUTDIR may be any folder.
mkdir -p "$out"
rm -f "$out"/[0-9][0-9]-*.png
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# Under xvfb-run, with a Wine prefix of its own on the display. The screen
# is as large as Wine's desktop, so that the pointer, which popup menus
# open at and which Wine does not move on this display, starts in the
# middle of the dialog centred on it.
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  set -euo pipefail
  source scripts/wine-prefix.sh
  trap stop_wine EXIT
  prepare_wine_prefix "$1/wine" display
  $(wine_loader_for "$2/bin/brindlemark-host.exe") "$2/bin/brindlemark-host.exe" --registry "$1/pictures.reg" --screenshot "$3" \
    --script samples/pictures.txt samples/workspace.json >"$1/session.txt"
' pictures "$scratch" "$build" "$out" || { cat "$scratch/session.txt" 2>/dev/null; exit 1; }

count=$(find "$out" -name '*.png' | wc -l)
if [ "$count" -lt 5 ]; then
  echo "dialog-pictures: expected at least 5 pictures in $out, found $count" >&2
  cat "$scratch/session.txt"
  exit 1
fi
echo "$count dialog pictures in $out"

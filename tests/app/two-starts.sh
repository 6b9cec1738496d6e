#!/usr/bin/env bash
# Starts the real program twice, each time on a fresh virtual display, takes a
# screenshot of each and compares them: the first population of every channel
# must be the same on every start.
#   two-starts.sh <program> <folder for the screenshots>
# Exit 77 (skipped) when the display tools are missing.
set -euo pipefail

if [ "${1:-}" = "--capture" ]; then
  # Inside the virtual display: start, wait for the window, shoot, stop.
  program="$2"
  image="$3"
  "$program" &
  pid=$!
  for _ in $(seq 1 200); do
    if xwininfo -name Zwirbels >/dev/null 2>&1; then break; fi
    if ! kill -0 "$pid" 2>/dev/null; then echo "the program ended before showing its window" >&2; exit 1; fi
    sleep 0.1
  done
  xwininfo -name Zwirbels >/dev/null 2>&1 || { echo "no window named Zwirbels appeared" >&2; kill "$pid"; exit 1; }
  # Let the layout settle and the activity lamp's first 250 ms pass.
  sleep 2
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$image"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  exit 0
fi

program="$1"
folder="$2"
for tool in xvfb-run xwd xwdtopnm pnmtopng xwininfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed" >&2; exit 77; }
done
mkdir -p "$folder"
for start in 1 2; do
  xvfb-run -a -s "-screen 0 800x700x24" bash "$0" --capture "$program" "$folder/start$start.png"
done
if ! cmp -s "$folder/start1.png" "$folder/start2.png"; then
  echo "the two starts show different screens: $folder/start1.png, $folder/start2.png" >&2
  exit 1
fi
echo "both starts show the same screen: $folder/start1.png"

#!/usr/bin/env bash
# Starts the real program twice, each time on a fresh virtual display, takes a
# screenshot of each channel's tab page (Alt+A..Alt+D) and compares them: the
# first population of every channel must be the same on every start.
#   two-starts.sh <program> <folder for the screenshots>
# Exit 77 (skipped) when the display tools are missing.
set -euo pipefail

if [ "${1:-}" = "--capture" ]; then
  # Inside the virtual display: start, wait for the window, shoot, stop.
  program="$2"
  images="$3"
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
  window=$(xdotool search --name '^Zwirbels$' | head -n 1)
  for channel in a b c d; do
    xdotool windowfocus --sync "$window" key --window "$window" "alt+$channel"
    sleep 0.5
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$images-$channel.png"
  done
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  exit 0
fi

program="$1"
folder="$2"
for tool in xvfb-run xwd xwdtopnm pnmtopng xwininfo xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed" >&2; exit 77; }
done
mkdir -p "$folder"
rm -f "$folder"/start*.png
# The program runs from a folder of its own, with settings that name no output
# device: the populations are compared, not the sound (a first start would open
# the built-in synthesizer, and where no audio output opens, show its error).
run="$folder/program"
rm -rf "$run"
mkdir -p "$run"
cp "$program" "$(dirname "$program")"/*.sub "$(dirname "$program")"/RuleHelp.txt "$run/"
printf '[Midi]\r\nMidiOut=\r\n' >"$run/$(basename "$program").INI"
for start in 1 2; do
  xvfb-run -a -s "-screen 0 800x700x24" bash "$0" --capture "$run/$(basename "$program")" "$folder/start$start"
done
for channel in a b c d; do
  if ! cmp -s "$folder/start1-$channel.png" "$folder/start2-$channel.png"; then
    echo "the two starts show different screens: $folder/start1-$channel.png, $folder/start2-$channel.png" >&2
    exit 1
  fi
done
# Four different pictures: the keys really switched the tab page.
if [ "$(md5sum "$folder"/start1-?.png | cut -d' ' -f1 | sort -u | wc -l)" -ne 4 ]; then
  echo "the four channels did not show four different screens" >&2
  exit 1
fi
echo "both starts show the same screens for channels A to D: $folder/start1-a.png .. start1-d.png"

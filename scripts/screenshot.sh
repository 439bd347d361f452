#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes a screenshot of Pixolan's window under Xvfb: scripts/screenshot.sh BINARY OUT.png
set -euo pipefail
binary=$1
out=$2
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v import >/dev/null && import -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
command -v xdotool >/dev/null || need+=(xdotool)
if [[ ${#need[@]} -gt 0 ]]; then
  sudo=(); [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq && "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 640x400x24 -nolisten tcp &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "$binary" &
app=$!
sleep 2
# Hover the viewport so the colour probe shows something.
DISPLAY=$display xdotool mousemove 100 50
sleep 1
# The window itself, exactly its size: no rows of the black root below it.
window=$(DISPLAY=$display xdotool search --sync --onlyvisible --name '^Pixolan ' | head -n1)
DISPLAY=$display import -window "$window" "$out"
echo "wrote $out"

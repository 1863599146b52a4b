#!/usr/bin/env bash
# Screenshots of Orvantis in a real window under Xvfb, for looking at the layout.
# Usage: tools/screenshots.sh [OUTDIR]   (default: build/screenshots)
# Each shot starts the program on the sample catalogue with a settings file that sizes the window
# to the screen and picks the view; the card-view shots also step through entries.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh xvfb xauth imagemagick fonts-noto-cjk xdotool
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target orvantis >/dev/null
out=${1:-build/screenshots}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"; kill $(jobs -p) 2>/dev/null || true' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
display=:97

shot() { # name screenW screenH winW winH mode [keys...]
  local name=$1 sw=$2 sh=$3 ww=$4 wh=$5 mode=$6; shift 6
  local app="$work/app-$name"
  mkdir -p "$app"
  cp build/orvantis "$app/"
  cp data/sample/tevox20.mdb "$app/"
  printf '[DISP]\r\nMODE=%s\r\n[WINDOW]\r\nLEFT=0\r\nTOP=0\r\nWIDTH=%s\r\nHEIGHT=%s\r\nWINSATE=0\r\n' \
    "$mode" $((ww * 15)) $((wh * 15)) > "$app/tevo.ini"
  Xvfb $display -screen 0 "${sw}x${sh}x24" >/dev/null 2>&1 &
  local xvfb=$!
  sleep 1
  DISPLAY=$display "$app/orvantis" >/dev/null 2>&1 &
  local prog=$!
  sleep 3
  for k in "$@"; do
    case $k in
      click:*) local xy=${k#click:}; DISPLAY=$display xdotool mousemove ${xy%,*} ${xy#*,} click 1; sleep 0.3 ;;
      key:*) DISPLAY=$display xdotool key ${k#key:}; sleep 0.3 ;;
    esac
  done
  DISPLAY=$display import -window root "$out/$name.png"
  kill $prog $xvfb 2>/dev/null || true
  wait $prog $xvfb 2>/dev/null || true
  echo "$out/$name.png"
}

shot list-1024x768 1024 768 1024 768 0
shot card-1024x768 1024 768 1024 768 1
shot list-640x480 640 480 640 480 0
shot card-640x480 640 480 640 480 1
shot card-side-by-side-1600x900 1600 900 1600 900 1
shot card-narrow-500x360 640 480 500 360 1
# Card view: the next-entry button twice, then PageDown in the game name box.
shot card-stepped-1024x768 1024 768 1024 768 1 click:152,168 click:152,168 click:150,245 key:Next

#!/usr/bin/env bash
# Renders data/icons/orvantis.svg into the PNG sizes installed under hicolor (run after editing it).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
../../tools/deps.sh librsvg2-bin
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" orvantis.svg -o "hicolor/${size}x${size}/apps/orvantis.png"
done

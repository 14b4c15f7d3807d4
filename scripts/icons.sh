#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Draws the icon's PNGs in the desktop's sizes (app/icons/paddock-SIZE.png) again from
# app/paddock.svg, with Debian's librsvg2-bin. Run after changing the SVG, and commit them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh librsvg2-bin
for size in 16 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" app/paddock.svg --output "app/icons/paddock-$size.png"
done
echo "Wrote app/icons/paddock-{16,32,48,64,128,256}.png"

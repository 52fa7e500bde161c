#!/bin/sh
# Redraws the window's logo (a card reader with a card going in) and its Windows icon.
set -e
cd "$(dirname "$0")"
convert -size 300x300 xc:none \
  -fill '#1f4e79' -stroke '#0d2a45' -strokewidth 6 -draw 'roundrectangle 70,60 230,290 24,24' \
  -fill '#f2b705' -stroke '#a67c00' -strokewidth 4 -draw 'roundrectangle 95,10 205,92 10,10' \
  -fill '#a67c00' -stroke none -draw 'rectangle 95,28 205,44' \
  -fill '#1f4e79' -stroke '#0d2a45' -strokewidth 6 -draw 'rectangle 70,72 230,100' \
  -fill '#cfe8ff' -stroke '#0d2a45' -strokewidth 4 -draw 'roundrectangle 92,112 208,168 8,8' \
  -fill '#008000' -stroke none -draw 'polyline 112,142 130,158 176,124 172,120 130,150 116,138' \
  -fill '#e8eef5' -stroke none \
  -draw 'circle 110,200 110,212' -draw 'circle 150,200 150,212' -draw 'circle 190,200 190,212' \
  -draw 'circle 110,236 110,248' -draw 'circle 150,236 150,248' -draw 'circle 190,236 190,248' \
  -fill '#ff0000' -draw 'circle 110,270 110,278' -fill '#f2b705' -draw 'circle 150,270 150,278' \
  -fill '#008000' -draw 'circle 190,270 190,278' \
  PNG32:logo.png
convert logo.png -define icon:auto-resize=256,48,32,16 logo.ico
# The hicolor theme's sizes for the Linux desktop; packaging/icons/pcpos-tester.svg is the
# same drawing as vectors, kept by hand beside them.
for size in 48 128 256; do
  convert logo.png -resize "${size}x${size}" -strip -define png:exclude-chunks=date,time \
    "PNG32:../../packaging/icons/pcpos-tester-$size.png"
done

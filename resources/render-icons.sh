#!/bin/sh
# Renders the window icons from the SVGs to the PNG sizes the Qt resource embeds.
# Run after editing an SVG (needs ImageMagick); the PNGs are kept in the tree so the
# build and the programs need no SVG support.
set -e
cd "$(dirname "$0")"
for icon in qm-copytool qm-setuptool; do
  for size in 16 32 48 64; do
    convert -background none -density 384 "$icon.svg" -resize "${size}x${size}" "png32:$icon-$size.png"
  done
done

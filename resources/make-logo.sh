#!/usr/bin/env bash
# Draws the program's logo (duoscope-512.png, 512 x 512), its icon
# (duoscope-camera-calibrator.png, 256 x 256) and the smaller icon sizes that
# desktops pick from (icons/hicolor/<size>/apps/) with ImageMagick: two camera
# lenses that overlap like a stereo pair, the left one red and the right one
# cyan, as the two halves of an anaglyph. Writes next to this script.
set -euo pipefail
cd "$(dirname "$0")"

# lens <centre x> <glass colour>: one lens on a transparent layer: a dark
# barrel ring, the tinted glass, a light and a dark inner ring, a highlight.
lens() {
  local cx=$1 glass=$2
  layer=(\( -size 512x512 xc:none
    -fill "$glass" -stroke '#23272e' -strokewidth 22 -draw "circle $cx,256 $cx,108"
    -fill none -stroke 'rgba(255,255,255,0.55)' -strokewidth 5 -draw "circle $cx,256 $cx,150"
    -fill none -stroke '#23272e' -strokewidth 8 -draw "circle $cx,256 $cx,196"
    -fill 'rgba(255,255,255,0.70)' -stroke none -draw "ellipse $((cx - 52)),200 30,18 0,360" \))
}

lens 186 'rgba(214,38,48,0.92)'
left=("${layer[@]}")
lens 326 'rgba(0,170,205,0.80)'
right=("${layer[@]}")
convert -size 512x512 xc:none "${left[@]}" -composite "${right[@]}" -composite \
  -depth 8 -define png:color-type=6 duoscope-512.png
convert duoscope-512.png -resize 256x256 -depth 8 -define png:color-type=6 duoscope-camera-calibrator.png

# Menus, panels and file managers ask for these sizes; scaling the large icon
# on the fly blurs the two lenses at 16 and 24 pixels. The metadata is left out
# so that drawing again changes no file unless the picture changed.
for size in 16 22 24 32 48 64 128; do
  mkdir -p "icons/hicolor/${size}x${size}/apps"
  convert duoscope-512.png -resize "${size}x${size}" -depth 8 -define png:color-type=6 -strip \
    "icons/hicolor/${size}x${size}/apps/duoscope-camera-calibrator.png"
done

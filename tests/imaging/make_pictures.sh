#!/usr/bin/env bash
# Makes the imaging tests' pictures with ImageMagick into the folder given (the build
# tree), so no binary picture is checked in:
#   rgb.png      64 x 48 true-colour gradient, opaque
#   photo.jpg    the same picture as JPEG
#   rgb.tif      the same picture as TIFF
#   anim.gif     three 16 x 16 frames (red, green, blue) with delays 10, 20 and 0
#   still.gif    one 16 x 16 frame
#   dpi72.png    100 x 50, 72 pixels per inch
#   many.png     96 x 96 with more than 256 colours (for colour reduction)
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
convert -size 64x48 -depth 8 gradient:'#ff0000-#0000ff' -define png:color-type=2 rgb.png
convert rgb.png -quality 95 photo.jpg
convert rgb.png -compress none rgb.tif
convert -size 16x16 -delay 10 xc:red -delay 20 xc:lime -delay 0 xc:blue -loop 0 anim.gif
convert -size 16x16 xc:'#336699' still.gif
convert -size 100x50 -depth 8 xc:'#808080' -units PixelsPerInch -density 72 -define png:color-type=2 dpi72.png
convert -size 96x96 -seed 7 plasma:fractal -depth 8 -define png:color-type=2 many.png

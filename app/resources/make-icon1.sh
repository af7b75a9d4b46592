#!/bin/sh
# Draws Icon1 once: the face of a DB-9 connector, its pins in the colours the window
# gives their lines (inputs green, outputs red, ground gold), as a 256 x 256 picture
# of 256 colours (8-bit palette PNG). Needs ImageMagick 6.
set -e
out=${1:-icon1.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 256x256 gradient:'#5b97d1'-'#163d66' -alpha set \
  \( -size 256x256 xc:none -fill white -draw 'roundrectangle 6,6 249,249 40,40' \) \
  -compose DstIn -composite "$tmp/back.png"
convert -size 232x106 gradient:'#eef1f4'-'#9aa3ad' "$tmp/plate.png"
convert -size 148x82 gradient:'#f4f6f8'-'#b4bcc4' "$tmp/shell.png"

convert "$tmp/back.png" \
  -fill none -stroke '#12304f' -strokewidth 4 -draw 'roundrectangle 6,6 249,249 40,40' \
  \( "$tmp/plate.png" -alpha set \( -size 232x106 xc:none -fill white -draw 'roundrectangle 0,0 231,105 10,10' \) \
     -compose DstIn -composite \) -geometry +12+76 -compose Over -composite \
  -fill none -stroke '#56606a' -strokewidth 3 -draw 'roundrectangle 12,76 243,181 10,10' \
  -fill '#3d454d' -stroke '#23292f' -strokewidth 2 -draw 'circle 34,128 34,140' -draw 'circle 221,128 221,140' \
  -fill '#9aa2ab' -stroke none -draw 'circle 34,128 34,134' -draw 'circle 221,128 221,134' \
  \( "$tmp/shell.png" -alpha set \( -size 148x82 xc:none -fill white -draw 'polygon 2,2 145,2 131,79 16,79' \) \
     -compose DstIn -composite \) -geometry +55+87 -compose Over -composite \
  -fill none -stroke '#56606a' -strokewidth 5 -draw 'polygon 57,89 199,89 185,167 71,167' \
  -fill '#24272b' -stroke '#24272b' -strokewidth 10 -draw 'polygon 70,101 186,101 175,155 81,155' \
  -stroke '#0d0d0d' -strokewidth 2 \
  -fill '#00c000' -draw 'circle 76,113 76,122' -draw 'circle 102,113 102,122' \
  -fill '#ff2020' -draw 'circle 128,113 128,122' -draw 'circle 154,113 154,122' \
  -fill '#d4a017' -draw 'circle 180,113 180,122' \
  -fill '#00c000' -draw 'circle 89,143 89,152' \
  -fill '#ff2020' -draw 'circle 115,143 115,152' \
  -fill '#00c000' -draw 'circle 141,143 141,152' -draw 'circle 167,143 167,152' \
  -stroke none -fill '#ffffffa0' \
  -draw 'circle 73,110 73,113' -draw 'circle 99,110 99,113' -draw 'circle 125,110 125,113' \
  -draw 'circle 151,110 151,113' -draw 'circle 177,110 177,113' -draw 'circle 86,140 86,143' \
  -draw 'circle 112,140 112,143' -draw 'circle 138,140 138,143' -draw 'circle 164,140 164,143' \
  "PNG32:$tmp/full.png"
convert "$tmp/full.png" -colors 256 -define png:exclude-chunks=date,time +set date:create +set date:modify "PNG8:$out"

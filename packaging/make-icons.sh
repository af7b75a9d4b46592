#!/bin/sh
# Scales Icon1 down to the smaller hicolor sizes once (256 is Icon1 itself). The PNGs
# are committed, so building the package needs no ImageMagick and gives the same bytes.
# Needs ImageMagick 6.
set -e
here=$(dirname "$0")
for size in 16 22 24 32 48 64 128; do
    convert "$here/../app/resources/icon1.png" -filter Lanczos -resize "${size}x${size}" -strip \
        -define png:exclude-chunks=date,time "PNG32:$here/icons/$size.png"
done

#!/usr/bin/env bash
# Makes the icon files velmora.rc names from app/resources/icon1.png, as BMP-format icon images with
# palettes (no PNG inside, which old loaders and icon editors do not read):
#   icon1.ico    one 256 x 256 image of 256 colours, the picture as drawn;
#   velmora.ico  the program file's icon: 32 x 32 in 2 colours, 32 x 32 and 16 x 16 in the 16 VGA colours.
# Needs ImageMagick 6 and python3. Usage: make-icons.sh [OUTDIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
src=$here/../../app/resources/icon1.png
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 1x1 xc:black xc:'#800000' xc:'#008000' xc:'#808000' xc:'#000080' xc:'#800080' xc:'#008080' \
    xc:'#c0c0c0' xc:'#808080' xc:red xc:lime xc:yellow xc:blue xc:magenta xc:cyan xc:white +append "$tmp/vga.png"
convert -size 1x1 xc:black xc:white +append "$tmp/mono.png"

# Each image as raw RGBA: colours already from its palette, alpha cut at one half.
picture() { # size palette-or-none output
    local remap=()
    [ "$2" != none ] && remap=(+dither -remap "$2")
    convert "$src" -background none -resize "$1x$1" -channel A -threshold 50% +channel \
        \( +clone -alpha off "${remap[@]}" \) +swap -compose CopyOpacity -composite -depth 8 "rgba:$3"
}
picture 256 none "$tmp/256.rgba"
picture 32 "$tmp/mono.png" "$tmp/32-1.rgba"
picture 32 "$tmp/vga.png" "$tmp/32-4.rgba"
picture 16 "$tmp/vga.png" "$tmp/16-4.rgba"

python3 - "$tmp" "$out" <<'EOF'
import struct, sys

tmp, out = sys.argv[1], sys.argv[2]
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]
MONO = [(0, 0, 0), (255, 255, 255)]

def rows(bits, values, size):
    """Bottom-up rows of `width` pixel values `bits` wide, each padded to 32 bits."""
    data = bytearray()
    for y in reversed(range(size)):
        row, acc, n = bytearray(), 0, 0
        for value in values[y * size:(y + 1) * size]:
            acc, n = (acc << bits) | value, n + bits
            if n == 8:
                row.append(acc)
                acc, n = 0, 0
        if n:
            row.append(acc << (8 - n))
        row += bytes(-len(row) % 4)
        data += row
    return bytes(data)

def image(name, size, bits, palette):
    raw = open(f"{tmp}/{name}.rgba", "rb").read()
    pixels = [raw[i:i + 4] for i in range(0, len(raw), 4)]
    if palette is None:
        palette = sorted({tuple(p[:3]) for p in pixels if p[3]} | {(0, 0, 0)})
    assert len(palette) <= 1 << bits, f"{name}: {len(palette)} colours"
    index = {colour: i for i, colour in enumerate(palette)}
    # A transparent pixel is black in the colour part, so that the screen shows through unchanged.
    colours = [index[tuple(p[:3])] if p[3] else index[(0, 0, 0)] for p in pixels]
    mask = [0 if p[3] else 1 for p in pixels]
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) + bytes(4 * ((1 << bits) - len(palette)))
    xor, andmask = rows(bits, colours, size), rows(1, mask, size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, len(xor) + len(andmask), 0, 0, 1 << bits, 0)
    return size, bits, header + table + xor + andmask

def icon(path, images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, blobs = b"", b""
    for size, bits, blob in images:
        colours = 0 if bits >= 8 else 1 << bits
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(blob), offset + len(blobs))
        blobs += blob
    open(path, "wb").write(directory + entries + blobs)

icon(f"{out}/icon1.ico", [image("256", 256, 8, None)])
icon(f"{out}/velmora.ico", [image("32-1", 32, 1, MONO), image("32-4", 32, 4, VGA), image("16-4", 16, 4, VGA)])
EOF

#!/usr/bin/env bash
# Makes the resource stream tests' own files (committed, so building needs
# neither ImageMagick nor cjpeg): a small progressive 4:2:0 picture and a
# block of bytes of a known, odd length.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
/usr/bin/convert -size 48x32 gradient:'#2050a0-#f0c040' -fill '#c02020' -draw 'circle 30,16 36,16' "$tmp/picture.ppm"
cjpeg -progressive -quality 90 -outfile dawn.jpg "$tmp/picture.ppm"
head -c 6072 /dev/zero | tr '\0' 'T' > block.bin

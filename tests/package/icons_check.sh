#!/bin/sh
# The desktop icons are crisp pixel art: the 32-pixel one is the game's
# emblem with its key colour transparent, and the 64, 128 and 256-pixel
# ones are it with each pixel made a 2, 4 or 8-pixel square. The 48-pixel
# one is drawn at its size; it must be 48 x 48 with a transparent margin.
#   icons_check.sh <repository root>
set -eu
icons=$1/dist/icons
fail() { echo "icons_check: $*" >&2; exit 1; }
. "$(dirname "$0")/../im6.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# differ A B: how many pixels differ, colour and transparency alike.
differ() { "$CMP" -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

for size in 32 48 64 128 256; do
    got=$(identify -format '%wx%h' "$icons/tumbrik-$size.png") || fail "can't read tumbrik-$size.png"
    [ "$got" = "${size}x$size" ] || fail "tumbrik-$size.png is $got"
done
"$IM" "$1/pix/tumbrik2.bmp" -transparent '#0000FF' "$scratch/emblem.png"
[ "$(differ "$scratch/emblem.png" "$icons/tumbrik-32.png")" = 0 ] ||
    fail "tumbrik-32.png is not the emblem pix/tumbrik2.bmp"
for factor in 2 4 8; do
    size=$((32 * factor))
    "$IM" "$icons/tumbrik-32.png" -sample "${size}x$size" "$scratch/scaled.png"
    n=$(differ "$scratch/scaled.png" "$icons/tumbrik-$size.png")
    [ "$n" = 0 ] || fail "tumbrik-$size.png differs from the 32-pixel icon scaled $factor times in $n pixels"
done
corner=$("$IM" "$icons/tumbrik-48.png" -format '%[fx:p{0,0}.a]' info:)
[ "$corner" = 0 ] || fail "the corner of tumbrik-48.png is not transparent"
echo "icons_check: five sizes; 64, 128 and 256 are the emblem in whole-pixel squares"

#!/bin/sh
# Builds the templates shipped with the designer: the pictures are drawn by stickwell-cli (magnet
# artwork) and each template is put together as the template editor would (magnet template).
# usage: make-templates.sh STICKWELL-CLI OUTPUT-FOLDER
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 STICKWELL-CLI OUTPUT-FOLDER" >&2
  exit 2
fi
cli=$1
out=$2
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/stickwell-templates.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

art() { "$cli" magnet artwork "$@" >/dev/null; }

# template FILE [magnet template options...]: built in the work folder, moved out when complete.
template() {
  file=$1
  shift
  "$cli" magnet template "$work/$file" "$@" >/dev/null
  mv -f "$work/$file" "$out/$file"
}

# Business card 90 x 50: square corners, the cutting line for uncut paper; A4 2 x 5.
art cutout "$work/card90.png" --size 90x50
template Business_Card_90x50.fmt --name "Business Card 90x50" --size 90x50 --bleed 3 --cutout "$work/card90.png" \
  --border --paper 210x297 --outer 15,23 --inner 0,0 --portrait --precut

# The shaped templates draw their cutting line along the cutout's window on uncut paper (--border);
# on pre-cut paper no line is drawn.

# Business card 85 x 55 with rounded corners; A4 2 x 5.
art cutout "$work/card85.png" --size 85x55 --shape rounded --radius 3
art mask "$work/card85-mask.png" --size 85x55 --bleed 3 --shape rounded --radius 3
template Business_Card_85x55.fmt --name "Business Card 85x55" --size 85x55 --bleed 3 --cutout "$work/card85.png" \
  --mask "$work/card85-mask.png" --border --paper 210x297 --outer 20,11 --inner 0,0 --portrait --precut

# Round magnets: 50 mm on A4 3 x 5, 64 mm on A4 2 x 4.
art cutout "$work/round50.png" --size 50x50 --shape round
art mask "$work/round50-mask.png" --size 50x50 --bleed 3 --shape round
template Round_Magnet_50mm.fmt --name "Round Magnet 50mm" --size 50x50 --bleed 3 --cutout "$work/round50.png" \
  --mask "$work/round50-mask.png" --border --paper 210x297 --outer 25,13.5 --inner 5,5 --portrait --precut
art cutout "$work/round64.png" --size 64x64 --shape round
art mask "$work/round64-mask.png" --size 64x64 --bleed 3 --shape round
template Round_Magnet_64mm.fmt --name "Round Magnet 64mm" --size 64x64 --bleed 3 --cutout "$work/round64.png" \
  --mask "$work/round64-mask.png" --border --paper 210x297 --outer 38.5,13 --inner 5,5 --portrait --precut

# Square 75 mm with softly rounded corners on a pale background; A4 2 x 3.
art cutout "$work/square75.png" --size 75x75 --shape rounded --radius 5
art mask "$work/square75-mask.png" --size 75x75 --bleed 3 --shape rounded --radius 5
art background "$work/square75-bg.png" --size 75x75 --colour "#EEF3F8" --shade 8 --ppi 100
template Square_Magnet_75mm.fmt --name "Square Magnet 75mm" --size 75x75 --bleed 3 --background "$work/square75-bg.png" \
  --cutout "$work/square75.png" --mask "$work/square75-mask.png" --border --paper 210x297 --outer 27.5,31 --inner 5,5 \
  --portrait --precut

# Photo magnets: 89 x 127 upright, A4 2 x 2; 102 x 152 lying on its long side, A4 1 x 2.
art cutout "$work/photo89.png" --size 89x127
template Photo_89x127.fmt --name "Photo 89x127" --size 89x127 --bleed 3 --cutout "$work/photo89.png" --border \
  --paper 210x297 --outer 13.5,19 --inner 5,5 --portrait --precut
art cutout "$work/photo152.png" --size 152x102
template Photo_102x152_Landscape.fmt --name "Photo 102x152 Landscape" --size 152x102 --bleed 3 \
  --cutout "$work/photo152.png" --border --paper 210x297 --outer 29,44 --inner 5,5 --portrait --precut

# Clock face 150 mm: hour marks inside the rim over a warm background; one on A4.
art cutout "$work/clock.png" --size 150x150 --shape round --clock-marks
art mask "$work/clock-mask.png" --size 150x150 --bleed 3 --shape round
art background "$work/clock-bg.png" --size 150x150 --colour "#FBF6EA" --shade 6 --ppi 100
template Clock_Face_150mm.fmt --name "Clock Face 150mm" --type clock-face --size 150x150 --bleed 3 \
  --background "$work/clock-bg.png" --cutout "$work/clock.png" --mask "$work/clock-mask.png" --border \
  --paper 210x297 --outer 30,73.5 --inner 0,0 --portrait --precut

# US Letter, in the whole millimetres the print tab's paper and a template's size hold (216 x 279;
# 1 in = 25.4 mm rounded).
# Business card 3.5 x 2 in: square corners, the cutting line; 2 x 5.
art cutout "$work/card-us.png" --size 89x51
template Business_Card_3.5x2in.fmt --name "Business Card 3.5x2in" --size 89x51 --bleed 3 \
  --cutout "$work/card-us.png" --border --paper 216x279 --outer 19,12 --inner 0,0 --portrait --precut

# Round magnets: 2 in 3 x 4, 2.5 in 2 x 4.
art cutout "$work/round2in.png" --size 51x51 --shape round
art mask "$work/round2in-mask.png" --size 51x51 --bleed 3 --shape round
template Round_Magnet_2in.fmt --name "Round Magnet 2in" --size 51x51 --bleed 3 --cutout "$work/round2in.png" \
  --mask "$work/round2in-mask.png" --border --paper 216x279 --outer 26.5,30 --inner 5,5 --portrait --precut
art cutout "$work/round25in.png" --size 64x64 --shape round
art mask "$work/round25in-mask.png" --size 64x64 --bleed 3 --shape round
template Round_Magnet_2.5in.fmt --name "Round Magnet 2.5in" --size 64x64 --bleed 3 --cutout "$work/round25in.png" \
  --mask "$work/round25in-mask.png" --border --paper 216x279 --outer 39.5,7 --inner 9,3 --portrait --precut

# Photo 4 x 6 in lying on its long side, 1 x 2.
art cutout "$work/photo4x6.png" --size 152x102
template Photo_4x6in_Landscape.fmt --name "Photo 4x6in Landscape" --size 152x102 --bleed 3 \
  --cutout "$work/photo4x6.png" --border --paper 216x279 --outer 32,35 --inner 5,5 --portrait --precut

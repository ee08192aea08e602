#!/bin/sh
# Builds the sample document archives from the texts kept beside this script.
#
# usage: make-samples.sh STICKWELL_CLI OUTDIR
#
#   sample.fmd         two pages (every shape kind, and the back with a turned line of text), built
#                      by "doc build" from design/Index.xml, sample_page.xml and design/back_page.xml,
#                      so every page is written by the program itself, with its thumbnail
#   sample-packed.fmd  the same settings and first page packed stream by stream with "storage pack",
#                      as another tool could write it: no thumbnails, page texts as they stand
set -eu
if [ $# -ne 2 ]; then
  echo "usage: $0 STICKWELL_CLI OUTDIR" >&2
  exit 1
fi
cli=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
"$cli" doc build "$out/sample.fmd" "$here/design/Index.xml" "$here/sample_page.xml" "$here/design/back_page.xml"
"$cli" storage pack "$out/sample-packed.fmd" "Index.xml=$here/design/Index.xml" \
  "Page0001.xml=$here/sample_page.xml"

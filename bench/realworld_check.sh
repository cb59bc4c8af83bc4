#!/usr/bin/env bash
# Real-world pictures as tarvel shows them, against OpenCV, libvips and
# ImageMagick (bench/realworld_check.py prints the table). The pictures come
# from public collections that this script fetches with git into CORPUS
# (default /tmp/tarvel-corpus): PngSuite, BMP Suite (built with its own
# generator), EXIF orientation examples and example TIFF files. Installs
# OpenCV for Python, libvips and ImageMagick with apt when they are missing.
#   bench/realworld_check.sh [build-dir] [corpus-dir]    (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
corpus="${2:-/tmp/tarvel-corpus}"
tool="$build/tools/tarvel"
[ -x "$tool" ] || { echo "realworld_check: build $tool first" >&2; exit 1; }

source bench/install_peers.sh
python=/usr/bin/python3
missing=()
[ -x /usr/bin/convert-im6.q16 ] || [ -x /usr/bin/magick ] || missing+=(imagemagick)
command -v vips >/dev/null || missing+=(libvips-tools)
"$python" -c 'import cv2' 2>/dev/null || missing+=(python3-opencv)
install_peers ${missing[@]+"${missing[@]}"}

# name, repository
fetch() {
  [ -d "$corpus/$1" ] || git clone -q --depth 1 "https://github.com/$2" "$corpus/$1"
}
mkdir -p "$corpus"
fetch pngsuite lunapaint/pngsuite
fetch exif-orientation-examples recurser/exif-orientation-examples
fetch exampletiffs tlnagy/exampletiffs
fetch bmpsuite jsummers/bmpsuite
[ -d "$corpus/bmpsuite/g" ] || make -s -C "$corpus/bmpsuite" >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/realworld-check-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# OpenCV's libpng warns about the sRGB profiles of some files; nothing to see.
"$python" bench/realworld_check.py "$(realpath "$tool")" "$(realpath "$corpus")" "$work" \
  2> >(grep -v 'iCCP: known incorrect sRGB profile' >&2)

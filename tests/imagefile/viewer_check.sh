#!/usr/bin/env bash
# Decodes BMP files written by the library with ImageMagick, a standard viewer's
# decoder, and compares the pixels with the expected ones. Skips (77) when
# ImageMagick is not installed; tests never install anything.
#   viewer_check.sh SAMPLES-PROGRAM
set -euo pipefail
peer=""
for p in /usr/bin/magick /usr/bin/convert-im6.q16 /usr/bin/convert-im6; do
  [ -x "$p" ] && { peer="$p"; break; }
done
[ -n "$peer" ] || { echo "ImageMagick is not installed: skipped"; exit 77; }

work="$(mktemp -d "${TMPDIR:-/tmp}/viewer-check-XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$1" "$work"
failed=0
for bmp in "$work"/*.bmp; do
  name="${bmp%.bmp}"
  "$peer" "$bmp" -depth 8 "rgb:$name.decoded"
  if cmp -s "$name.decoded" "$name.rgb"; then
    echo "ok      $(basename "$bmp")"
  else
    echo "FAILED  $(basename "$bmp"): ImageMagick decodes other pixels"
    failed=1
  fi
done
exit $failed

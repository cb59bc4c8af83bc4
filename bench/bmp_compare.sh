#!/usr/bin/env bash
# BMP write and read of a 10000 x 8000 RGB image: tarvel (bench_bmp), OpenCV's
# imwrite/imread timed in-process, and ImageMagick, which has its own native
# BMP coder, on the same file, in MB/s of file bytes, with the ratios. Three
# rounds, the programs alternating, best round of each. Installs OpenCV for
# Python and ImageMagick with apt when they are missing (only this script
# installs peers). Run from the source tree after a Release build:
#   cmake --preset release && cmake --build build-release -j2
#   bench/bmp_compare.sh [build-dir]    (default build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-release}"
bench="$build/bench/bench_bmp"
[ -x "$bench" ] || { echo "bmp_compare: build $bench first" >&2; exit 1; }
rounds=3

source bench/install_peers.sh
# The real ImageMagick, not whatever else may be called convert on PATH, and
# the system's Python, where Debian's OpenCV lives.
magick=""
find_magick() {
  for p in /usr/bin/magick /usr/bin/convert-im6.q16 /usr/bin/convert-im6; do
    [ -x "$p" ] && { magick="$p"; return 0; }
  done
  return 1
}
python=/usr/bin/python3
have_opencv() { [ -x "$python" ] && "$python" -c 'import cv2' 2>/dev/null; }
missing=()
find_magick || missing+=(imagemagick)
have_opencv || missing+=(python3-opencv)
install_peers ${missing[@]+"${missing[@]}"}
find_magick || { echo "bmp_compare: no ImageMagick after install" >&2; exit 1; }
have_opencv || { echo "bmp_compare: no OpenCV for $python after install" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/bmp-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export TARVEL_BENCH_BMP="$work/image.bmp"
export TMPDIR="$work"   # tarvel's page files and ImageMagick's caches both go here
# Debian's ImageMagick policy caps the pixel cache at 256 MiB of memory, which
# would push this image to a disk cache; give the peer room to work in memory.
cat > "$work/policy.xml" <<'POLICY'
<policymap>
  <policy domain="resource" name="memory" value="8GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="area" value="4GP"/>
  <policy domain="resource" name="disk" value="16GiB"/>
  <policy domain="resource" name="width" value="1MP"/>
  <policy domain="resource" name="height" value="1MP"/>
</policymap>
POLICY
export MAGICK_CONFIGURE_PATH="$work"

# Seconds of one run of a command.
seconds_of() {
  local t0 t1
  t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

echo "== tarvel ($bench), OpenCV $("$python" -c 'import cv2; print(cv2.__version__)') in-process," \
     "$("$magick" -version | head -1)"
ours_write="" ours_read="" cv_write="" cv_read="" im_write="" im_read=""
for round in $(seq "$rounds"); do
  # tarvel: mean seconds of three writes and of three reads.
  "$bench" --benchmark_format=csv 2>/dev/null > "$work/tarvel.csv"
  # CSV columns: name,iterations,real_time,cpu_time,time_unit,...; times in ms.
  ours() { awk -F, -v n="\"$1/" 'index($1, n) == 1 { printf "%.4f", $3 / 1000 }' "$work/tarvel.csv"; }
  ours_write=$(min "$ours_write" "$(ours BM_BmpWrite)")
  ours_read=$(min "$ours_read" "$(ours BM_BmpRead)")
  # OpenCV: the same means, timed inside the Python process.
  read -r w r < <("$python" bench/opencv_bmp.py "$TARVEL_BENCH_BMP" "$work/opencv.bmp")
  cv_write=$(min "$cv_write" "$w")
  cv_read=$(min "$cv_read" "$r")
  # ImageMagick: read decodes into its pixel cache and discards it; write
  # encodes from its own memory-mapped cache format, which costs next to
  # nothing to open, so the time is the BMP encoder's.
  [ "$round" -eq 1 ] && "$magick" "$TARVEL_BENCH_BMP" "$work/image.mpc"
  im_read=$(min "$im_read" "$(seconds_of "$magick" "$TARVEL_BENCH_BMP" null:)")
  im_write=$(min "$im_write" "$(seconds_of "$magick" "$work/image.mpc" "$work/magick.bmp")")
  rm -f "$work/opencv.bmp" "$work/magick.bmp"
done

bytes=$(stat -c %s "$TARVEL_BENCH_BMP")
mbps() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.1f", b / 1e6 / s }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo
echo "BMP 10000 x 8000 x 24-bit, $bytes bytes; MB/s of file bytes (higher is better), best of $rounds"
echo "rounds; time ratios tarvel/peer (below 1: tarvel is faster)"
printf '%-6s %8s %8s %12s %13s %18s\n' "" tarvel OpenCV ImageMagick "tarvel/OpenCV" "tarvel/ImageMagick"
row() {  # operation, then seconds of tarvel, OpenCV and ImageMagick
  printf '%-6s %8s %8s %12s %13s %18s\n' "$1" "$(mbps "$2")" "$(mbps "$3")" "$(mbps "$4")" \
    "$(ratio "$2" "$3")" "$(ratio "$2" "$4")"
}
row write "$ours_write" "$cv_write" "$im_write"
row read "$ours_read" "$cv_read" "$im_read"

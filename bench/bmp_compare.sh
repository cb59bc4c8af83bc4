#!/usr/bin/env bash
# BMP write and read of a 10000 x 8000 RGB image: tarvel (bench_bmp) and
# ImageMagick, which has its own native BMP coder, on the same file, in MB/s
# of file bytes, with the ratio. Installs ImageMagick with apt when it is
# missing (only this script installs peers). Run from the source tree after a
# Release build: cmake --preset release && cmake --build build-release -j2
#   bench/bmp_compare.sh [build-dir]    (default build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-release}"
bench="$build/bench/bench_bmp"
[ -x "$bench" ] || { echo "bmp_compare: build $bench first" >&2; exit 1; }

# The real ImageMagick, not whatever else may be called convert on PATH.
peer=""
find_peer() {
  for p in /usr/bin/magick /usr/bin/convert-im6.q16 /usr/bin/convert-im6; do
    [ -x "$p" ] && { peer="$p"; return 0; }
  done
  return 1
}
if ! find_peer; then
  echo "bmp_compare: installing imagemagick"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq imagemagick >/dev/null
  find_peer || { echo "bmp_compare: no ImageMagick after install" >&2; exit 1; }
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/bmp-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export TARVEL_BENCH_BMP="$work/image.bmp"
export TMPDIR="$work"   # tarvel's page files and ImageMagick's caches both go here

echo "== tarvel ($bench)"
"$bench" --benchmark_format=csv 2>/dev/null | tee "$work/tarvel.csv" | grep -v '^name' || true
bytes=$(stat -c %s "$TARVEL_BENCH_BMP")
# CSV columns: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,...
# Names carry the run settings ("BM_BmpRead/iterations:3/real_time").
ours() { awk -F, -v n="\"$1/" 'index($1, n) == 1 { printf "%.1f", $6 / 1e6 }' "$work/tarvel.csv"; }
ours_write=$(ours BM_BmpWrite)
ours_read=$(ours BM_BmpRead)

# Best of three runs of a command, in seconds.
best_of_3() {
  local best="" t0 t1 t
  for _ in 1 2 3; do
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N)
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}
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
echo "== peer: $peer ($("$peer" -version | head -1))"
# Read: decode the BMP into ImageMagick's pixel cache and discard it.
peer_read_s=$(best_of_3 "$peer" "$TARVEL_BENCH_BMP" null:)
# Write: encode from ImageMagick's own memory-mapped cache format, which costs
# next to nothing to open, so the time is the BMP encoder's.
"$peer" "$TARVEL_BENCH_BMP" "$work/image.mpc"
peer_write_s=$(best_of_3 "$peer" "$work/image.mpc" "$work/peer.bmp")
mbps() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.1f", b / 1e6 / s }'; }
peer_read=$(mbps "$peer_read_s")
peer_write=$(mbps "$peer_write_s")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo
echo "BMP 10000 x 8000 x 24-bit, $bytes bytes; MB/s of file bytes (higher is better)"
printf '%-8s %10s %12s %18s\n' "" tarvel ImageMagick "tarvel/ImageMagick"
printf '%-8s %10s %12s %18s\n' write "$ours_write" "$peer_write" "$(ratio "$ours_write" "$peer_write")"
printf '%-8s %10s %12s %18s\n' read "$ours_read" "$peer_read" "$(ratio "$ours_read" "$peer_read")"

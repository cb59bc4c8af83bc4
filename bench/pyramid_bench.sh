#!/usr/bin/env bash
# Times whole pyramid builds beside libvips (`vips tiffsave IN OUT.tif --tile
# --pyramid --compression none`, with VIPS_CONCURRENCY=1 and with its default
# threads) on the built-in 10000 x 8000 RGB sample as JPEG, uncompressed TIFF
# and PNG, with peak resident memory from /usr/bin/time -v; then runs
# bench_pyramid (opening a stored pyramid, capturing views) on one of them.
#
#   bench/pyramid_bench.sh [--large]
#
# The three programs run in turn, RUNS rounds (default 3); each reports its
# fastest run and the largest peak it reached. With --large it also builds
# the 40000 x 30000 JPEG (against libvips too) and a 60000 x 35791 tiled,
# JPEG-compressed TIFF (about 8.6 GB of page files, deleted right after).
# Times are wall-clock; the processor times beside them show what a busy
# machine does to the comparison.
#
# Installs the peers (libvips-tools, time) with apt when missing. Work files
# go to BENCH_DIR (default: a new directory under /tmp), removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

large=0
[ "${1:-}" = "--large" ] && large=1

need=()
command -v vips >/dev/null || need+=(libvips-tools)
[ -x /usr/bin/time ] || need+=(time)
source bench/install_peers.sh
install_peers ${need[@]+"${need[@]}"}

cmake --preset release >/dev/null
cmake --build build-release -j2 --target tarvel-cli bench_pyramid >/dev/null
tarvel=build-release/tools/tarvel

work="${BENCH_DIR:-$(mktemp -d /tmp/tarvel-bench.XXXXXX)}"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
runs="${RUNS:-3}"

# once NAME COMMAND...: one run; keeps the fastest time, the least processor
# time (user + system, which other load on the machine disturbs less) and the
# largest peak (KiB) of NAME in best_time[NAME], best_cpu[NAME] and peak[NAME].
declare -A best_time best_cpu peak
once() {
  local name=$1
  shift
  rm -rf "$work/out" "$work/out.tif"
  if ! /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/run.txt" 2>&1; then
    echo "pyramid_bench: $name failed:" >&2
    tail -n 5 "$work/run.txt" >&2
    exit 1
  fi
  local t rss cpu
  t=$(awk -F': ' '/Elapsed/ {n = split($2, p, ":"); s = 0; for (k = 1; k <= n; k++) s = s * 60 + p[k]; print s}' "$work/time.txt")
  rss=$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time.txt")
  cpu=$(awk -F': ' '/User time|System time/ {s += $2} END {print s}' "$work/time.txt")
  if [ -z "${best_time[$name]:-}" ] || awk "BEGIN {exit !($t < ${best_time[$name]})}"; then
    best_time[$name]=$t
  fi
  if [ -z "${best_cpu[$name]:-}" ] || awk "BEGIN {exit !($cpu < ${best_cpu[$name]})}"; then
    best_cpu[$name]=$cpu
  fi
  if [ -z "${peak[$name]:-}" ] || [ "$rss" -gt "${peak[$name]}" ]; then peak[$name]=$rss; fi
  rm -rf "$work/out" "$work/out.tif"
}

# compare INPUT ROUNDS: tarvel and both libvips runs in turn, then a table.
compare() {
  local in=$1 rounds=$2 ext=${1##*.}
  best_time=() best_cpu=() peak=()
  for ((i = 0; i < rounds; i++)); do
    once tarvel "$tarvel" pyramid "$in" "$work/out"
    once vips1 env VIPS_CONCURRENCY=1 vips tiffsave "$in" "$work/out.tif" --tile --pyramid --compression none
    once vipsd vips tiffsave "$in" "$work/out.tif" --tile --pyramid --compression none
  done
  for row in "tarvel|tarvel pyramid" "vips1|vips tiffsave, VIPS_CONCURRENCY=1" \
             "vipsd|vips tiffsave, default threads"; do
    IFS='|' read -r key name <<<"$row"
    printf '%-5s %-36s %8.2f %9.1f %8.2f %8.2f %8.2f\n' "$ext" "$name" "${best_time[$key]}" \
      "$(awk "BEGIN {print ${peak[$key]} / 1024}")" \
      "$(awk "BEGIN {print ${best_time[tarvel]} / ${best_time[$key]}}")" "${best_cpu[$key]}" \
      "$(awk "BEGIN {print ${best_cpu[tarvel]} / ${best_cpu[$key]}}")"
  done
}

header() {
  printf '\n%s\n' "$1"
  printf '%-5s %-36s %8s %9s %8s %8s %8s\n' input program seconds "peak MiB" ratio "cpu s" "cpu ratio"
}

header "Whole process on 10000 x 8000 RGB, fastest of $runs rounds, largest peak"
for ext in jpg tif png; do
  "$tarvel" sample "$work/sample.$ext" >/dev/null
  compare "$work/sample.$ext" "$runs"
done
echo "(ratio: tarvel's time / that program's time, cpu ratio the same for processor time;"
echo " aims: at most 0.8 for jpg and tif,"
echo " 1.0 for png, peak at most 96 MiB)"

"$tarvel" pyramid "$work/sample.jpg" "$work/stored" >/dev/null 2>&1
TARVEL_PYRAMID_DIR="$work/stored" build-release/bench/bench_pyramid
rm -rf "$work/stored" "$work"/sample.*

if ((large)); then
  header "40000 x 30000 RGB JPEG, one round"
  "$tarvel" sample "$work/huge.jpg" --width 40000 --height 30000 >/dev/null
  compare "$work/huge.jpg" 1
  rm -f "$work/huge.jpg"
  echo "(aim: peak under 128 MiB, time at most libvips')"

  # The largest picture 60000 wide whose planes a paged image addresses
  # (at most 2^31 - 1 samples a plane).
  header "60000 x 35791 RGB TIFF, 256 x 256 JPEG tiles, tarvel only"
  "$tarvel" sample "$work/huge.tif" --width 60000 --height 35791 --tile 256 \
    --compression jpeg >/dev/null
  best_time=() best_cpu=() peak=()
  once tarvel "$tarvel" pyramid "$work/huge.tif" "$work/out"
  printf '%-5s %-36s %8.2f %9.1f\n' tif "tarvel pyramid" "${best_time[tarvel]}" \
    "$(awk "BEGIN {print ${peak[tarvel]} / 1024}")"
  rm -f "$work/huge.tif"
  echo "(aim: peak under 128 MiB)"
fi

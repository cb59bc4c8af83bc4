#!/usr/bin/env bash
# Times whole builds of a pyramid from the built-in 10000 x 8000 RGB sample,
# as JPEG and as TIFF, beside libvips (`vips tiffsave IN OUT.tif --tile
# --pyramid --compression none`, single-threaded and default), with peak
# resident memory from /usr/bin/time -v; then runs bench_pyramid (opening a
# stored pyramid and capturing 1024 x 1024 views) on the pyramid just built.
#
# Installs the peers (libvips-tools, time) with apt when missing. Work files go
# to BENCH_DIR (default: a new directory under /tmp), removed at the end.
# Each build is run RUNS times (default 3) and the fastest run is reported.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v vips >/dev/null || need+=(libvips-tools)
[ -x /usr/bin/time ] || need+=(time)
if ((${#need[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "pyramid_bench: installing ${need[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
fi

cmake --preset release >/dev/null
cmake --build build-release -j2 --target tarvel-cli bench_pyramid >/dev/null
tarvel=build-release/tools/tarvel

work="${BENCH_DIR:-$(mktemp -d /tmp/tarvel-bench.XXXXXX)}"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
runs="${RUNS:-3}"

# run NAME COMMAND...: the fastest of $runs runs; prints "seconds peak_kib".
run() {
  local best="" best_rss=""
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out" "$work/out.tif"
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1
    local t rss
    t=$(awk -F': ' '/Elapsed/ {n = split($2, p, ":"); s = 0; for (k = 1; k <= n; k++) s = s * 60 + p[k]; print s}' "$work/time.txt")
    rss=$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time.txt")
    if [ -z "$best" ] || awk "BEGIN {exit !($t < $best)}"; then best=$t; best_rss=$rss; fi
  done
  echo "$best $best_rss"
}

decoded_mib=$((10000 * 8000 * 3 / 1048576))
printf '\nWhole-process time, fastest of %d runs, on 10000 x 8000 RGB (decoded: %d MiB)\n' "$runs" "$decoded_mib"
printf '%-6s %-34s %8s %10s %8s\n' input program seconds "peak MiB" ratio
for ext in jpg tif; do
  in="$work/sample.$ext"
  "$tarvel" sample "$in" >/dev/null
  read -r ours ours_rss < <(run "$tarvel" pyramid "$in" "$work/out")
  read -r v1 v1_rss < <(run env VIPS_CONCURRENCY=1 vips tiffsave "$in" "$work/out.tif" --tile --pyramid --compression none)
  read -r vd vd_rss < <(run vips tiffsave "$in" "$work/out.tif" --tile --pyramid --compression none)
  for row in "tarvel pyramid|$ours|$ours_rss" "vips tiffsave, VIPS_CONCURRENCY=1|$v1|$v1_rss" \
             "vips tiffsave, default threads|$vd|$vd_rss"; do
    IFS='|' read -r name t rss <<<"$row"
    printf '%-6s %-34s %8.2f %10.1f %8.2f\n' "$ext" "$name" "$t" "$(awk "BEGIN {print $rss / 1024}")" \
      "$(awk "BEGIN {print $ours / $t}")"
  done
done
printf '(ratio: tarvel time / that program'"'"'s time; aim for peak RSS: at most %d MiB)\n\n' $((decoded_mib + 64))

"$tarvel" pyramid "$work/sample.jpg" "$work/stored" >/dev/null
TARVEL_PYRAMID_DIR="$work/stored" build-release/bench/bench_pyramid

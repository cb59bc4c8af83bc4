#!/usr/bin/env bash
# Times the display on the built-in 10000 x 8000 sample: bench_display fills
# 1920 x 1080 views through the pyramid bitmap (reductions 1, 2.7 and 16,
# nearest and smooth, with and without the view cache), an unchanged repaint,
# panning and PNG writing, beside OpenCV's cv::resize of the same regions held
# in memory (INTER_NEAREST and INTER_LINEAR, one thread), and prints the
# ratios; then times `tarvel view` and `tarvel capture` end to end.
#
# Installs libopencv-dev with apt when missing; the normal build never needs
# it. Work files go to BENCH_DIR (default: a new directory under /tmp),
# removed at the end. Timed runs hold /tmp/tarvel-bench.lock.
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/install_peers.sh
if ! dpkg-query -W -f='${Status}' libopencv-dev 2>/dev/null | grep -q "install ok installed"; then
  install_peers libopencv-dev
fi

cmake --preset release >/dev/null
cmake --build build-release -j2 --target tarvel-cli bench_display_opencv >/dev/null
tarvel=build-release/tools/tarvel

work="${BENCH_DIR:-$(mktemp -d /tmp/tarvel-bench.XXXXXX)}"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
"$tarvel" sample "$work/sample.jpg" >/dev/null
"$tarvel" pyramid "$work/sample.jpg" "$work/pyramid" >"$work/pyramid.txt" 2>/dev/null
head -1 "$work/pyramid.txt"
export TMPDIR="$work"

out="$work/bench.txt"
flock /tmp/tarvel-bench.lock build-release/bench/bench_display_opencv "$work/pyramid" \
  --benchmark_repetitions="${REPETITIONS:-3}" --benchmark_report_aggregates_only=true "$@" |
  tee "$out"

# Median times by name, in ms: wall (columns 2-3) and CPU (columns 4-5). The
# CPU time is the steadier one on a shared machine; both are shown. Fills are
# set against cv::resize of the same region with the matching interpolation,
# the 1:1 fills also against cv::merge of three planes.
awk 'function ms(v, u) { return u == "us" ? v / 1000 : (u == "ns" ? v / 1e6 : (u == "s" ? v * 1000 : v)) }
  /_median/ { split($1, n, "_median"); wall[n[1]] = ms($2, $3); cpu[n[1]] = ms($4, $5) }
  function ratio(a, b, t) { return (t[a] && t[b]) ? sprintf("%6.2f", t[a] / t[b]) : "     -" }
  END {
    split("1 2.7 16", r, " ")
    printf "\nfill / cv::resize, medians        view cache: wall  cpu    16 MiB only: wall  cpu\n"
    for (i = 0; i < 3; i++) for (s = 0; s < 2; s++) {
      o = "BM_OpenCVResize/reduction:" i "/linear:" s
      f = "BM_Fill/reduction:" i "/smooth:" s "/viewcache:1"
      g = "BM_Fill/reduction:" i "/smooth:" s "/viewcache:0"
      printf "reduction %-4s %-8s                    %s %s              %s %s\n", r[i + 1],
        s ? "smooth" : "nearest", ratio(f, o, wall), ratio(f, o, cpu), ratio(g, o, wall), ratio(g, o, cpu)
    }
    m = "BM_OpenCVMerge"
    for (s = 0; s < 2; s++)
      printf "reduction 1    %-8s / cv::merge         %s %s              %s %s\n", s ? "smooth" : "nearest",
        ratio("BM_Fill/reduction:0/smooth:" s "/viewcache:1", m, wall),
        ratio("BM_Fill/reduction:0/smooth:" s "/viewcache:1", m, cpu),
        ratio("BM_Fill/reduction:0/smooth:" s "/viewcache:0", m, wall),
        ratio("BM_Fill/reduction:0/smooth:" s "/viewcache:0", m, cpu)
    copy = "BM_OpenCVResize/reduction:0/linear:0"
    printf "\nunchanged repaint: skip test %.4f ms, with the blit %.3f ms (wall)\n",
      wall["BM_UnchangedRepaint/blit:0"], wall["BM_UnchangedRepaint/blit:1"]
    printf "panning 64 px at 1:1 / cv::resize 1:1 (wall, cpu):\n"
    for (d = 0; d < 2; d++) for (s = 0; s < 2; s++) {
      p = "BM_Pan64/down:" d "/smooth:" s
      printf "  %-5s %-8s %8.2f ms  %s %s\n", d ? "down" : "right", s ? "smooth" : "nearest", wall[p],
        ratio(p, copy, wall), ratio(p, copy, cpu)
    }
    printf "1920 x 1080 view written as PNG (wall):"
    for (l = 0; l <= 9; l++) if (wall["BM_WritePng/level:" l]) printf "  level %d %.1f ms", l, wall["BM_WritePng/level:" l]
    printf "\n"
  }' "$out"

echo
echo "tarvel view and tarvel capture, whole process (wall seconds, PNG written):"
TIMEFORMAT='%R'
timed() {
  local name=$1
  shift
  local t
  t=$( { time "$tarvel" "$@" >/dev/null 2>&1; } 2>&1) || { echo "display_bench: tarvel $* failed" >&2; exit 1; }
  printf "  %-44s %6s s\n" "$name" "$t"
}
exec 9>/tmp/tarvel-bench.lock
flock 9
timed "view overview 1200x960" view "$work/pyramid" -o "$work/overview.png" --size 1200x960
timed "view 1:1 detail 1024x1024" view "$work/pyramid" -o "$work/detail.png" --center 5000,4000 --zoom 1 --size 1024x1024
timed "view smooth zoom 0.25 1024x1024" view "$work/pyramid" -o "$work/zoom.png" --center 5000,4000 --zoom 0.25 --size 1024x1024 --smooth
timed "view smooth zoom 0.25 1024x1024, level 9" view "$work/pyramid" -o "$work/zoom9.png" --center 5000,4000 --zoom 0.25 --size 1024x1024 --smooth --png-level 9
timed "capture 1024x1024" capture "$work/pyramid" 4488 3488 1024 1024 1024 1024 "$work/capture.png"
timed "capture 1024x1024, level 6" capture "$work/pyramid" 4488 3488 1024 1024 1024 1024 "$work/capture6.png" --png-level 6
timed "capture full size 10000x8000" capture "$work/pyramid" 0 0 10000 8000 10000 8000 "$work/full.png"
flock -u 9
ls -l "$work"/*.png | awk '{ printf "%10d  %s\n", $5, $9 }'

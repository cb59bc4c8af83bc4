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

if ! dpkg-query -W -f='${Status}' libopencv-dev 2>/dev/null | grep -q "install ok installed"; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "display_bench: installing libopencv-dev"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq libopencv-dev >/dev/null
fi

cmake --preset release >/dev/null
cmake --build build-release -j2 --target tarvel-cli bench_display_opencv >/dev/null
tarvel=build-release/tools/tarvel

work="${BENCH_DIR:-$(mktemp -d /tmp/tarvel-bench.XXXXXX)}"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
"$tarvel" sample "$work/sample.jpg" >/dev/null
"$tarvel" pyramid "$work/sample.jpg" "$work/pyramid" 2>/dev/null | head -1
export TMPDIR="$work"

out="$work/bench.txt"
flock /tmp/tarvel-bench.lock build-release/bench/bench_display_opencv "$work/pyramid" \
  --benchmark_repetitions="${REPETITIONS:-3}" --benchmark_report_aggregates_only=true "$@" |
  tee "$out"

# Median wall times (column 2) by name; fills against cv::resize of the same
# region with the matching interpolation.
awk '/_median/ { split($1, n, "_median"); t[n[1]] = $2 }
  END {
    split("1 2.7 16", r, " ")
    printf "\nfill / cv::resize (median wall time)      with view cache   16 MiB cache only\n"
    for (i = 0; i < 3; i++) for (s = 0; s < 2; s++) {
      o = t["BM_OpenCVResize/reduction:" i "/linear:" s]
      f = t["BM_Fill/reduction:" i "/smooth:" s "/viewcache:1"]
      g = t["BM_Fill/reduction:" i "/smooth:" s "/viewcache:0"]
      if (o) printf "reduction %-4s %-8s                 %8.2f          %8.2f\n", r[i + 1], s ? "smooth" : "nearest", f / o, g / o
    }
  }' "$out"

echo
echo "tarvel view and tarvel capture, whole process:"
flock /tmp/tarvel-bench.lock bash -c "
  '$tarvel' view '$work/pyramid' -o '$work/overview.png' --size 1200x960
  '$tarvel' view '$work/pyramid' -o '$work/detail.png' --center 5000,4000 --zoom 1 --size 1024x1024
  '$tarvel' view '$work/pyramid' -o '$work/zoom.png' --center 5000,4000 --zoom 0.25 --size 1024x1024 --smooth
  '$tarvel' view '$work/pyramid' -o '$work/zoom9.png' --center 5000,4000 --zoom 0.25 --size 1024x1024 --smooth --png-level 9
  '$tarvel' capture '$work/pyramid' 4488 3488 1024 1024 1024 1024 '$work/capture.png'
  '$tarvel' capture '$work/pyramid' 4488 3488 1024 1024 1024 1024 '$work/capture6.png' --png-level 6
  '$tarvel' capture '$work/pyramid' 0 0 10000 8000 10000 8000 '$work/full.png'
"
ls -l "$work"/*.png | awk '{ printf "%10d  %s\n", $5, $9 }'

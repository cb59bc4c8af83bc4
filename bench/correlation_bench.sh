#!/usr/bin/env bash
# Times the target correlator per call beside OpenCV's matchTemplate
# (TM_CCOEFF_NORMED with minMaxLoc, one thread) on the same 17 x 17 templates
# and 76 x 76 windows, and prints the ratio of the medians. Installs
# libopencv-dev with apt when missing; the normal build never needs it.
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/install_peers.sh
if ! dpkg-query -W -f='${Status}' libopencv-dev 2>/dev/null | grep -q "install ok installed"; then
  install_peers libopencv-dev
fi

cmake --preset release >/dev/null
cmake --build build-release -j2 --target bench_correlation_opencv >/dev/null

out=$(mktemp)
trap 'rm -f "$out"' EXIT
build-release/bench/bench_correlation_opencv --benchmark_repetitions="${REPETITIONS:-5}" \
  --benchmark_report_aggregates_only=true "$@" | tee "$out"
# Columns of a median line: name, wall time, unit, CPU time, unit, iterations.
awk '/_median/ { t[$1] = $4 }
     END {
       e = t["BM_Execute_median"]; s = t["BM_Scan_median"]; o = t["BM_OpenCVMatchTemplate_median"]
       if (e && o) printf "\nExecute / matchTemplate: %.2f   scan alone / matchTemplate: %.2f\n", e / o, s / o
     }' "$out"

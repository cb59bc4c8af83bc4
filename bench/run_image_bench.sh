#!/usr/bin/env bash
# Builds the Release benchmarks and prints the paged image's throughput, with
# GetRegion as a ratio to memcpy of the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build build-release -j"$(nproc)" --target bench_image >/dev/null
out=$(mktemp)
build-release/bench/bench_image --benchmark_out="$out" --benchmark_out_format=json
python3 - "$out" <<'PY'
import json, sys
runs = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
mb = lambda n: runs[n]["bytes_per_second"] / 1e6
print()
print(f"GetRegion (cached 1024x1024) / memcpy of the same rows: "
      f"{mb('BM_GetRegionCached') / mb('BM_MemcpyRegion'):.2f}")
print(f"ipointer sequential read:  {mb('BM_IpointerReadPlane'):.0f} MB/s")
print(f"pointer sequential write:  {mb('BM_PointerWritePlane'):.0f} MB/s")
walk = runs["BM_WalkImage64xCache/iterations:1"]
print(f"1 GiB write+read walk:     {walk['bytes_per_second'] / 1e6:.0f} MB/s, "
      f"peak resident {walk['peak_MiB']:.1f} MiB")
PY
rm -f "$out"

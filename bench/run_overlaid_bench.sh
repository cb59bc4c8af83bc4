#!/usr/bin/env bash
# Builds the Release benchmarks and prints the overlaid image's throughput as
# ratios: row and region reads to memcpy of the same bytes, the full pass over
# an image 20 times the part list's limit to the same pass over a plain array.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build build-release -j"$(nproc)" --target bench_overlaid >/dev/null
out=$(mktemp)
build-release/bench/bench_overlaid --benchmark_out="$out" --benchmark_out_format=json
python3 - "$out" <<'PY'
import json, sys
runs = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
rate = lambda n: runs[n]["bytes_per_second"]
ns = lambda n: 1e9 / runs[n]["items_per_second"]
print()
print(f"GetLine (loaded tiles) / memcpy of the same rows:   {rate('BM_OverlaidGetLine') / rate('BM_MemcpyLine'):.2f}")
print(f"GetRegion (loaded tiles) / memcpy of the same rows: {rate('BM_OverlaidGetRegion') / rate('BM_MemcpyRegion'):.2f}")
print(f"PutPixel: {ns('BM_OverlaidPutPixel'):.1f} ns per call, GetPixel: {ns('BM_OverlaidGetPixel'):.1f} ns per call")
full, plain = "BM_OverlaidFullPass/iterations:1", "BM_PlainFullPass/iterations:1"
print(f"full pass over 20 x the part-list limit / plain array: {rate(full) / rate(plain):.2f}")
PY
rm -f "$out"

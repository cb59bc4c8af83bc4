#!/usr/bin/env bash
# Tile rendering with mapped page files against page loads (bench_serve), then
# load on the tile server: wrk, 64 connections for 30 s, random 512 x 512
# tiles at every scale of the built-in 10000 x 8000 sample, against
# `tarvel serve` and against IIPImage (iipsrv behind lighttpd's FastCGI)
# serving a libvips JPEG-tiled pyramid TIFF of the same picture, both at JPEG
# quality 90 with the same number of workers (WORKERS, default 2: tarvel
# threads, iipsrv processes) and the same memory for tiles (tarvel's cache of
# encoded tiles holds what the iipsrv processes' caches hold together).
# Prints requests/s, p50/p99 latency, errors and the peak resident memory of
# each server, and the ratio of requests/s.
#
# Installs the peers (iipimage-server, lighttpd, libvips-tools, wrk) with apt
# when missing. Work files go to BENCH_DIR (default: a new directory under
# /tmp), removed at the end. DURATION (default 30s), CONNECTIONS (default 64),
# IIP_CACHE_MB (iipsrv's tile cache, default 10, its own default).
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
[ -x /usr/lib/iipimage-server/iipsrv.fcgi ] || need+=(iipimage-server)
command -v lighttpd >/dev/null || need+=(lighttpd)
command -v vips >/dev/null || need+=(libvips-tools)
command -v wrk >/dev/null || need+=(wrk)
source bench/install_peers.sh
install_peers ${need[@]+"${need[@]}"}

cmake --preset release -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build build-release -j2 --target tarvel-cli bench_serve >/dev/null
tarvel=$PWD/build-release/tools/tarvel

work="${BENCH_DIR:-$(mktemp -d /tmp/tarvel-serve-bench.XXXXXX)}"
mkdir -p "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
workers="${WORKERS:-2}"
duration="${DURATION:-30s}"
connections="${CONNECTIONS:-64}"
cache_mb="${IIP_CACHE_MB:-10}"
port_ours=18301
port_iip=18302

echo "serve_bench: making the sample and both pyramids in $work"
"$tarvel" sample "$work/sample.jpg" >/dev/null
"$tarvel" pyramid "$work/sample.jpg" "$work/sample" >/dev/null 2>&1
vips tiffsave "$work/sample.jpg" "$work/sample.tif" --tile --tile-width 512 --tile-height 512 \
  --pyramid --compression jpeg --Q 90

echo "serve_bench: rendering tiles, mapped page files against page loads"
TARVEL_BENCH_PYRAMID="$work/sample" flock /tmp/tarvel-bench.lock build-release/bench/bench_serve \
  --benchmark_min_time=3

# The same random tiles for both: at every scale factor s (1 to 64) a 512 x 512
# tile of the grid of 512s x 512s regions, the edge tiles cut and sized as
# viewers ask for them.
python3 - "$work" <<'PY'
import random, sys
work = sys.argv[1]
W, H = 10000, 8000
random.seed(1)
ours, iip = [], []
for _ in range(20000):
    s = 2 ** random.randint(0, 6)
    span = 512 * s
    x = random.randrange(0, (W + span - 1) // span) * span
    y = random.randrange(0, (H + span - 1) // span) * span
    w, h = min(span, W - x), min(span, H - y)
    ws, hs = (w + s - 1) // s, (h + s - 1) // s
    ours.append(f"/iiif/3/sample/{x},{y},{w},{h}/{ws},{hs}/0/default.jpg")
    iip.append(f"/fcgi-bin/iipsrv.fcgi?IIIF=sample.tif/{x},{y},{w},{h}/{ws},{hs}/0/default.jpg")
open(f"{work}/tiles-ours.txt", "w").write("\n".join(ours) + "\n")
open(f"{work}/tiles-iip.txt", "w").write("\n".join(iip) + "\n")
PY

mkdir -p "$work/www"
cat >"$work/lighttpd.conf" <<CONF
server.modules = ("mod_fastcgi")
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port_iip
server.errorlog = "$work/lighttpd.log"
server.max-connections = 1024
fastcgi.server = ("/fcgi-bin/iipsrv.fcgi" => ((
  "socket" => "$work/iipsrv.socket",
  "check-local" => "disable",
  "max-procs" => $workers,
  "bin-path" => "/usr/lib/iipimage-server/iipsrv.fcgi",
  "bin-environment" => (
    "FILESYSTEM_PREFIX" => "$work/",
    "JPEG_QUALITY" => "90",
    "MAX_IMAGE_CACHE_SIZE" => "$cache_mb",
    "MAX_CVT" => "10000",
    "VERBOSITY" => "0",
    "LOGFILE" => "$work/iipsrv.log"
  )
)))
CONF

# peak_kib PID...: the summed peak resident memory of the processes.
peak_kib() {
  local sum=0
  for p in "$@"; do
    sum=$((sum + $(awk '/VmHWM/ {print $2}' "/proc/$p/status" 2>/dev/null || echo 0)))
  done
  echo "$sum"
}

# load NAME URL TILES: runs wrk and prints its RESULT line.
load() {
  # A short warm-up, so that both start with their files in the page cache.
  TILES="$2" wrk -t2 -c"$connections" -d5s -s bench/serve_tiles.lua "$1" >/dev/null
  TILES="$2" wrk -t2 -c"$connections" -d"$duration" --timeout 10s -s bench/serve_tiles.lua "$1" |
    grep '^RESULT'
}

"$tarvel" serve "$work/sample" --port $port_ours --threads "$workers" --quality 90 \
  --cache-mb $((cache_mb * workers)) >/dev/null &
pids+=($!)
ours_pid=$!
lighttpd -D -f "$work/lighttpd.conf" &
pids+=($!)
sleep 2
curl -sf -o /dev/null "http://127.0.0.1:$port_ours/iiif/3/sample/info.json"
curl -sf -o /dev/null "http://127.0.0.1:$port_iip/fcgi-bin/iipsrv.fcgi?IIIF=sample.tif/info.json"

echo "serve_bench: tarvel serve, $workers threads"
ours=$(flock /tmp/tarvel-bench.lock bash -c "$(declare -f load); connections=$connections duration=$duration load http://127.0.0.1:$port_ours $work/tiles-ours.txt")
ours_rss=$(peak_kib "$ours_pid")
echo "serve_bench: iipsrv, $workers FastCGI processes behind lighttpd, ${cache_mb} MB tile cache each"
iip=$(flock /tmp/tarvel-bench.lock bash -c "$(declare -f load); connections=$connections duration=$duration load http://127.0.0.1:$port_iip $work/tiles-iip.txt")
iip_rss=$(peak_kib "${pids[1]}" $(pgrep -P "${pids[1]}" || true))

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }
printf '\n%d connections, %s, random 512 x 512 tiles at scales 1 to 64 of 10000 x 8000, JPEG quality 90\n' \
  "$connections" "$duration"
printf '%-52s %10s %9s %9s %8s %10s\n' server "requests/s" "p50 ms" "p99 ms" errors "peak MiB"
for row in "tarvel serve ($workers threads, $((cache_mb * workers)) MiB cache)|$ours|$ours_rss" \
           "iipsrv ($workers processes, ${cache_mb} MB cache) + lighttpd|$iip|$iip_rss"; do
  IFS='|' read -r name r rss <<<"$row"
  errors=$(( $(field non2xx "$r") + $(field connect "$r") + $(field read "$r") + $(field write "$r") + $(field timeout "$r") ))
  printf '%-52s %10s %9s %9s %8d %10.1f\n' "$name" "$(field rps "$r")" "$(field p50_ms "$r")" \
    "$(field p99_ms "$r")" "$errors" "$(awk "BEGIN {print $rss / 1024}")"
done
printf 'ratio of requests/s, tarvel / iipsrv: %.2f\n' \
  "$(awk "BEGIN {print $(field rps "$ours") / $(field rps "$iip")}")"

-- wrk script: requests the paths listed in the file named by the environment
-- variable TILES (one per line), each connection drawing them at random.
local paths = {}
for line in io.lines(os.getenv("TILES")) do paths[#paths + 1] = line end

function init(args)
  math.randomseed(os.time() + tonumber(tostring({}):sub(8), 16))
end

function request()
  return wrk.format("GET", paths[math.random(#paths)])
end

function done(summary, latency, requests)
  local e = summary.errors
  io.write(string.format("RESULT requests=%d seconds=%.2f rps=%.1f p50_ms=%.2f p99_ms=%.2f " ..
                         "non2xx=%d connect=%d read=%d write=%d timeout=%d bytes=%d\n",
                         summary.requests, summary.duration / 1e6,
                         summary.requests / (summary.duration / 1e6),
                         latency:percentile(50) / 1000, latency:percentile(99) / 1000,
                         e.status, e.connect, e.read, e.write, e.timeout, summary.bytes))
end

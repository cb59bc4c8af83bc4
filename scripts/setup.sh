#!/usr/bin/env bash
# Installs the Debian packages the build needs (nothing happens when they are
# there), then configures and builds tarvel into build/ (or the directory given
# as BUILD_DIR). Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libgtest-dev libbenchmark-dev libcli11-dev
          libjpeg62-turbo-dev libpng-dev libtiff-dev libmicrohttpd-dev chromium)
# Node.js runs the viewer's npm packages and the browser test; any recent one
# will do, so Debian's is installed only when there is none.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The viewer's npm packages (OpenSeadragon, and puppeteer-core for the browser
# test), as pinned by web/package-lock.json; again only when the lock changed.
if [ ! -f web/node_modules/.package-lock.json ] ||
   [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
  echo "setup: installing the viewer's npm packages"
  (cd web && npm ci --no-audit --no-fund --loglevel=error)
fi

build_dir="${BUILD_DIR:-build}"
cmake -S . -B "$build_dir" "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"

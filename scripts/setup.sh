#!/usr/bin/env bash
# Installs the Debian packages the build needs (nothing happens when they are
# there), then configures and builds tarvel into build/ (or the directory given
# as BUILD_DIR). Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libgtest-dev libbenchmark-dev libcli11-dev
          libjpeg62-turbo-dev libpng-dev libtiff-dev liblcms2-dev libexif-dev libmicrohttpd-dev)
# Only the browser test needs these: Chromium, and Node.js to run the viewer's
# npm packages and the test (any recent one will do, so Debian's is installed
# only when there is none). Without them that test is skipped, never failed.
browser=(chromium)
command -v npm >/dev/null 2>&1 || browser+=(nodejs npm)

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
updated=""
install() {
  [ -n "$updated" ] || $sudo apt-get update -qq
  updated=1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" >/dev/null
}

mapfile -t missing < <(missing_of "${packages[@]}")
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  install "${missing[@]}"
fi
mapfile -t missing < <(missing_of "${browser[@]}")
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]} for the browser test"
  install "${missing[@]}" || echo "setup: could not install ${missing[*]}; the browser test will be skipped"
fi

# The viewer's npm packages (OpenSeadragon, and puppeteer-core for the browser
# test), as pinned by web/package-lock.json; again only when the lock changed.
# Without them (no npm, no network) the server still serves IIIF, warns that
# its viewer page is missing, and the browser test is skipped.
if command -v npm >/dev/null 2>&1; then
  if [ ! -f web/node_modules/.package-lock.json ] ||
     [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
    echo "setup: installing the viewer's npm packages"
    (cd web && npm ci --no-audit --no-fund --loglevel=error) ||
      echo "setup: npm ci failed in web/; the viewer page lacks OpenSeadragon and the browser test will be skipped"
  fi
else
  echo "setup: no npm; the viewer page lacks OpenSeadragon and the browser test will be skipped"
fi

build_dir="${BUILD_DIR:-build}"
cmake -S . -B "$build_dir" "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"

#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs every test: first the normal
# build, then the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
# Pass --fast to skip the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

if [ "${1:-}" != "--fast" ]; then
  BUILD_DIR=build-asan bash scripts/setup.sh -DTARVEL_SANITIZE=ON -DTARVEL_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
fi

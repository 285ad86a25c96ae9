#!/bin/bash
# Sets everything up, builds and runs the whole test suite.
# Usage: scripts/test.sh [--sanitize]   (--sanitize: AddressSanitizer + UBSan build in build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [[ ${1:-} == --sanitize ]]; then
  bash scripts/build.sh build-asan -DZANDREL_SANITIZE=ON
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
else
  bash scripts/build.sh build
  ctest --test-dir build --output-on-failure -j"$(nproc)"
fi

#!/bin/bash
# Sets everything up, builds, and boots on the simulated handheld with the
# default settings. Extra arguments go to zandrel-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
exec ./build/zandrel-sim "$@"

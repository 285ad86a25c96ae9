#!/bin/bash
# Configures and builds zandrel. Usage: scripts/build.sh [BUILD_DIR [CMAKE_ARGS...]]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true
launcher=()
# A machine with ccache reuses objects across build folders and checkouts.
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$PWD")}
fi
cmake -S . -B "$build_dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"

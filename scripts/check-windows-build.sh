#!/bin/bash
# Compiles the platform-independent system code, the window, the Win32 backend
# and the resources with
# mingw-w64, so that the same code keeps building for desktop Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
compiler=x86_64-w64-mingw32-g++-posix
command -v "$compiler" >/dev/null || compiler=x86_64-w64-mingw32-g++
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failed=0
count=0
while IFS= read -r source; do
  count=$((count + 1))
  if ! "$compiler" -std=c++20 -Wall -Wextra -Werror -Isrc -I. -c "$source" -o "$out/$(echo "$source" | tr / _).o"; then
    echo "windows build: $source does not compile" >&2
    failed=1
  fi
done < <(find src -name '*.cpp' | sort)
# The resources: page templates, string table, bitmaps, icon.
if ! x86_64-w64-mingw32-windres -Iresources -O coff -o "$out/resources.o" resources/zandrel.rc; then
  echo "windows build: resources/zandrel.rc does not compile" >&2
  failed=1
fi
if ((failed)); then
  exit 1
fi
echo "windows build: $count sources and the resources compile with $compiler"

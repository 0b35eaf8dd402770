#!/usr/bin/env bash
# Configures and builds the Linux programs (build/) and, with --windows, the
# Windows host cross-built with MinGW-w64 (build-win/).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

if [[ "${1:-}" == "--windows" ]]; then
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
  cmake --build build-win -j "$jobs"
  windows_host=(-DINTRO_WINDOWS_HOST="$PWD/build-win/host/intro-cheap.exe")
else
  windows_host=()
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${windows_host[@]}"
cmake --build build -j "$jobs"

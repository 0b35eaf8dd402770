#!/usr/bin/env bash
# Configures and builds the Linux programs (build/) and, with --windows, the
# Windows host cross-built with MinGW-w64 (build-win/).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

windows=""
for arg in "$@"; do
  case "$arg" in
    -h|--help)
      cat <<'TEXT'
usage: bash scripts/build.sh [--windows]

Configures and builds the Linux programs in build/ (CMake, RelWithDebInfo).
  --windows   first cross-builds the Windows host with MinGW-w64 in build-win/,
              and builds build/ with it, for the Wine tests
  -h, --help  this text
The build's log goes to standard error.
TEXT
      exit 0 ;;
    --windows) windows=1 ;;
    *) echo "build: unknown option \"$arg\" (see --help)" >&2; exit 2 ;;
  esac
done
# A build log, not a result: standard output stays the caller's.
exec >&2

windows_host=()
if [[ -n "$windows" ]]; then
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
  cmake --build build-win -j "$jobs"
  windows_host=(-DINTRO_WINDOWS_HOST="$PWD/build-win/host/intro-cheap.exe")
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${windows_host[@]}"
cmake --build build -j "$jobs"

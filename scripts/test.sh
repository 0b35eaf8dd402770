#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine to a full test run: packages,
# both builds, then all tests (unit, GLSL on llvmpipe, system under Xvfb and Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1-}" in
  "") ;;
  -h|--help)
    cat <<'TEXT'
usage: bash scripts/test.sh

Installs the Debian packages that are missing (scripts/setup.sh, as root),
builds build/ and build-win/ (scripts/build.sh --windows), then runs every
test through CTest in build/. It takes no options; one test at a time:
cd build && ctest -R NAME. The set-up and the build report on standard error.
TEXT
    exit 0 ;;
  *) echo "test: unknown option \"$1\"; it takes none (see --help)" >&2; exit 2 ;;
esac
bash scripts/setup.sh
bash scripts/build.sh --windows
cd build
ctest --output-on-failure --timeout 1800

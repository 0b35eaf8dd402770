#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine to a full test run: packages,
# both builds, then all tests (unit, GLSL on llvmpipe, system under Xvfb and Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh --windows
cd build
ctest --output-on-failure --timeout 1800

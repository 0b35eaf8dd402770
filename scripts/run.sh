#!/usr/bin/env bash
# The main job from a fresh Debian 12 machine: packages, build, then
#  - with a display: the program in its window, live-reloading shader/shader.glsl
#    (Escape ends it);
#  - without one: the finished picture rendered headless into out/intro.png
#    (with progress pictures out/intro.1.png ... along the way).
# Extra arguments go to intro-render in the headless case.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh

if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  # The host watches "../shader.glsl": run it one level below the shader.
  mkdir -p shader/run
  cd shader/run
  exec ../../build/host/intro
fi

echo "run: no display; rendering the picture headless (about 20 minutes on a 2-core machine without a GPU)"
mkdir -p out
exec build/host/intro-render --output out/intro.png "$@"

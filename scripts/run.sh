#!/usr/bin/env bash
# The main job from a fresh Debian 12 machine: packages, build, then
#  - with a display: the program in its window, live-reloading shader/shader.glsl
#    (Escape ends it); where OpenGL renders in software, first a word on how
#    slow that is and on the headless crop preview;
#  - without one: the finished picture rendered headless into out/intro.png
#    (with progress pictures out/intro.1.png ... along the way), or with
#    arguments, intro-render with just those (any of its modes).
# The window takes no arguments.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'TEXT'
usage: bash scripts/run.sh [INTRO-RENDER OPTIONS...]

Installs the Debian packages that are missing (scripts/setup.sh, as root),
builds (scripts/build.sh), then
  with a display     opens the window, build/host/intro, in shader/run/, so
                     that it live-reloads shader/shader.glsl; Escape ends it.
                     It takes no options: any given are refused.
  without a display  renders the finished picture headless into out/intro.png,
                     with progress pictures out/intro.1.png, .4, .16 and .64
                     (about 10 minutes on a 2-core machine without a GPU).
                     With options, runs build/host/intro-render with just
                     those, from the repository root (any of its modes:
                     --eval, --view, --benchmark ...; give -o for a picture);
                     build/host/intro-render --help lists them.
A DISPLAY that cannot be opened is an error (exit status 1), not "no display".
To render headless on a machine with a display: DISPLAY= bash scripts/run.sh
Standard output carries only what the program writes (-o -, --eval); the
set-up and the build report on standard error.

  -h, --help  this text
TEXT
}

for arg in "$@"; do
  if [[ "$arg" == -h || "$arg" == --help ]]; then
    usage
    exit 0
  fi
done

# The window takes no arguments; said before the build, not after it.
refuse_arguments() {
  if (($#)); then
    echo "run: the window takes no options (given: $*); to pass them to intro-render headless: DISPLAY= bash scripts/run.sh $*" >&2
    exit 2
  fi
}

# Standard output is the program's: the set-up and the build report on
# standard error.
bash scripts/setup.sh >&2

if [[ -n "${DISPLAY:-}" ]]; then
  # A display named but dead is no reason for a 10-minute render instead.
  if ! xdpyinfo >/dev/null 2>&1; then
    echo "run: cannot open display \"$DISPLAY\"; to render headless instead: DISPLAY= bash scripts/run.sh${*:+ $*}" >&2
    exit 1
  fi
  refuse_arguments "$@"
  bash scripts/build.sh >&2
  renderer=$(glxinfo -B 2>/dev/null | sed -n 's/^OpenGL renderer string: //p' || true)
  if [[ "$renderer" == llvmpipe* ]]; then
    {
      echo "run: OpenGL renders in software here ($renderer): the window's first picture comes after about ten minutes."
      echo "run: to see part of the picture seconds after each save instead, end the window (Escape) and run"
      echo "run:   mkdir -p out && build/host/intro-render --watch --shader shader/shader.glsl --crop 832,412,256,256 --margin 0 -o out/preview.png &"
      echo "run: with an image viewer that reloads the picture when it changes: feh --reload 1 out/preview.png"
    } >&2
  fi
  # The host watches "../shader.glsl": run it one level below the shader.
  mkdir -p shader/run
  cd shader/run
  exec ../../build/host/intro
fi

bash scripts/build.sh >&2
if (($#)); then
  exec build/host/intro-render "$@"
fi
echo "run: no display; rendering the picture headless (about 10 minutes on a 2-core machine without a GPU)" >&2
mkdir -p out
exec build/host/intro-render --output out/intro.png

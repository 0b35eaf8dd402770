#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# only those that are missing. Runs as root on Debian 12.
set -euo pipefail
case "${1-}" in
  "") ;;
  -h|--help)
    echo "usage: bash scripts/setup.sh   (as root: installs the missing Debian packages; no options)"
    exit 0 ;;
  *) echo "setup: unknown option \"$1\"; it takes none (see --help)" >&2; exit 2 ;;
esac
# A set-up log: standard output stays the caller's.
exec >&2

packages=(
  cmake make g++ pkg-config git
  googletest libgtest-dev libgmock-dev
  libglfw3-dev libgl-dev libopengl-dev libegl-dev libegl-mesa0 libgl1-mesa-dri libglx-mesa0
  libx11-dev libxtst-dev xvfb xauth x11-utils mesa-utils
  glslang-tools libstb-dev
  parallel rsync python3-yaml
  slurm-wlm munge openssh-server
  g++-mingw-w64-x86-64 wine wine64
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: these Debian packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # munge, Slurm and sshd start their services as they install; a start that
  # fails (Slurm has no configuration yet) would fail the install. The tests
  # start daemons of their own, so the packages' stay down unless the machine
  # has its own policy.
  if [[ ! -e /usr/sbin/policy-rc.d ]]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod 0755 /usr/sbin/policy-rc.d
    trap 'rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

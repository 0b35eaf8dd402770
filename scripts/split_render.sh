#!/usr/bin/env bash
# Renders one picture as PARTS shares of its samples, run as GNU parallel jobs
# (local processes, or other machines over ssh), and merges their sums into
# exactly the picture one intro-render process would write.
#
#   scripts/split_render.sh [-j JOBS] [--sshlogin LOGINS] [--render PROGRAM]
#                           [--keep DIR] PARTS -o PICTURE [intro-render options]
#
# -j JOBS           jobs at once on each machine (parallel's default: one per core)
# --sshlogin LOGINS machines for parallel's --sshlogin, e.g. ":,alice@node1,node2"
#                   (":" is this machine); each needs PROGRAM at the same path
# --render PROGRAM  intro-render to run (default: build/host/intro-render)
# --keep DIR        write the sums files into DIR and keep them
# The intro-render options (--samples, --crop, --margin, --shader) go to
# every part; the merge takes them from the parts.
set -euo pipefail

usage() {
  sed -n '2,15s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

root=$(cd "$(dirname "$0")/.." && pwd)
render="$root/build/host/intro-render"
jobs=()
remote=()
keep=""
parts=""
output=""
shader=""
options=()
while (($#)); do
  case "$1" in
    -j) (($# >= 2)) || usage; jobs=(-j "$2"); shift 2 ;;
    --sshlogin) (($# >= 2)) || usage; remote=(--sshlogin "$2"); shift 2 ;;
    --render) (($# >= 2)) || usage; render="$2"; shift 2 ;;
    --keep) (($# >= 2)) || usage; keep="$2"; shift 2 ;;
    -o|--output) (($# >= 2)) || usage; output="$2"; shift 2 ;;
    --shader) (($# >= 2)) || usage; shader="$2"; shift 2 ;;
    -h|--help) usage ;;
    *)
      if [[ -z "$parts" && "$1" =~ ^[0-9]+$ ]]; then parts="$1"; else options+=("$1"); fi
      shift ;;
  esac
done
[[ -n "$parts" && "$parts" -ge 1 && -n "$output" ]] || usage
command -v parallel >/dev/null || { echo "split_render: GNU parallel is missing (apt-get install parallel)" >&2; exit 1; }

# Jobs run inside the parts directory (remote ones in parallel's own working
# directory there), so every path they see is relative to it.
if [[ "$render" == */* && "$render" != /* ]]; then render="$PWD/$render"; fi
if [[ "$output" != /* ]]; then output="$PWD/$output"; fi
if [[ -n "$keep" ]]; then
  mkdir -p "$keep"
  dir=$(cd "$keep" && pwd)
else
  dir=$(mktemp -d "${TMPDIR:-/tmp}/split_render.XXXXXX")
  trap 'rm -rf "$dir"' EXIT
fi
shader_option=()
if [[ -n "$shader" ]]; then
  cp -- "$shader" "$dir/shader.glsl"
  shader_option=(--shader shader.glsl)
fi
transfer=()
if ((${#remote[@]})); then
  transfer=("${remote[@]}" --workdir ... --return 'part.{}.sums' --cleanup)
  if [[ -n "$shader" ]]; then transfer+=(--transferfile shader.glsl); fi
fi

names=()
for ((i = 0; i < parts; i++)); do names+=("part.$i.sums"); done
cd "$dir"
rm -f -- "${names[@]}"
parallel --halt now,fail=1 "${jobs[@]}" "${transfer[@]}" -q \
  "$render" --part "{}/$parts" --sums 'part.{}.sums' "${shader_option[@]}" "${options[@]}" \
  ::: $(seq 0 $((parts - 1)))
"$render" --merge "${names[@]}" "${shader_option[@]}" -o "$output"

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
# PARTS             how many shares (1 to 65536, at most the sample count),
#                   right after the options above
# -o PICTURE        the picture, as for intro-render ("-": standard output)
# The other intro-render options (--samples, --crop, --margin, --shader) go to
# every part, in any of intro-render's spellings; the merge takes them from the
# parts. Progress pictures, --part, --sums, --merge, --watch and --benchmark
# do not go with a split render.
set -euo pipefail

usage() {
  sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"
}
usage_error() {
  echo "split_render: $1 (see --help)" >&2
  exit 2
}

root=$(cd "$(dirname "$0")/.." && pwd)
render="$root/build/host/intro-render"
jobs=()
remote=()
keep=""
output=""
shader=""
options=()

# This script's options end at PARTS. getopt(1) takes the spellings
# intro-render's getopt_long takes: --keep=DIR, -j4, unique prefixes.
args=$(getopt -n split_render -o +hj: -l help,sshlogin:,render:,keep: -- "$@") || usage_error "bad option"
eval set -- "$args"
while true; do
  case "$1" in
    -j) jobs=(-j "$2"); shift 2 ;;
    --sshlogin) remote=(--sshlogin "$2"); shift 2 ;;
    --render) render="$2"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
  esac
done
(($#)) || usage_error "PARTS is missing"
# Decimal, whatever its leading zeros (bash would read 010 as octal).
[[ "$1" =~ ^0*([1-9][0-9]{0,4})$ ]] && ((BASH_REMATCH[1] <= 65536)) ||
  usage_error "PARTS must be a whole number from 1 to 65536, not \"$1\""
parts=${BASH_REMATCH[1]}
shift

# The rest are intro-render's options; operands there are a misplaced PARTS
# or a stray value.
args=$(getopt -n split_render -o ho:s: \
  -l help,output:,samples:,shader:,crop:,margin:,progress-pictures,no-progress-pictures \
  -l benchmark,baseline:,watch,part:,sums:,merge -- "$@") || usage_error "bad intro-render option"
eval set -- "$args"
while true; do
  case "$1" in
    -o|--output) output="$2"; shift 2 ;;
    --shader) shader="$2"; shift 2 ;;
    -s|--samples|--crop|--margin) options+=("$1" "$2"); shift 2 ;;
    --no-progress-pictures) shift ;; # a split render writes none
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
    *) usage_error "$1 does not go with a split render" ;;
  esac
done
(($# == 0)) || usage_error "\"$1\" after PARTS is no intro-render option"
[[ -n "$output" ]] || usage_error "-o PICTURE is missing"
command -v parallel >/dev/null || { echo "split_render: GNU parallel is missing (apt-get install parallel)" >&2; exit 1; }

# Jobs run inside the parts directory (remote ones in parallel's own working
# directory there), so every path they see is relative to it.
if [[ "$render" == */* && "$render" != /* ]]; then render="$PWD/$render"; fi
if [[ "$output" != /* && "$output" != - ]]; then output="$PWD/$output"; fi
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
# parallel runs jobs on ":" (this machine) in the --workdir too, but neither
# transfers files for them nor returns them: those jobs work in this
# directory. The jobs' output goes to standard error, which leaves standard
# output to the picture.
parallel --halt now,fail=1 "${jobs[@]}" "${transfer[@]}" -q \
  sh -c '[ "$PARALLEL_SSHLOGIN" != : ] || cd "$0" && exec "$@"' "$dir" \
  "$render" --part "{}/$parts" --sums 'part.{}.sums' "${shader_option[@]}" "${options[@]}" \
  ::: $(seq 0 $((parts - 1))) >&2
"$render" --merge "${names[@]}" "${shader_option[@]}" -o "$output"

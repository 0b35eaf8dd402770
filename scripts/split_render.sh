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
#                   (":" is this machine; a port as "alice@node1:2222" or
#                   "ssh -p 2222 alice@node1"); each needs PROGRAM at the same path
# --render PROGRAM  intro-render to run (default: build/host/intro-render);
#                   a name without a slash is looked up on PATH
# --keep DIR        write the sums files into DIR, a new or empty directory,
#                   and keep them
# PARTS             how many shares (1 to 65536, at most the sample count),
#                   right after the options above
# -o PICTURE        the picture, as for intro-render ("-": standard output)
# The other intro-render options (--samples, --crop, --margin, --shader) go to
# every part, in any of intro-render's spellings; the merge takes them from the
# parts. Progress pictures, --part, --sums, --merge, --watch and --benchmark
# do not go with a split render. Options, the picture's name and the shader are
# checked before any part runs; if the merge fails, the sums stay and are named.
set -euo pipefail

usage() {
  sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"
}
usage_error() {
  echo "split_render: $1 (see --help)" >&2
  exit 2
}
fail() {
  echo "split_render: $1" >&2
  exit 1
}
# Said before anything can take its number.
stdout_closed=""
{ : 3>&1; } 2>/dev/null || stdout_closed=1

root=$(cd "$(dirname "$0")/.." && pwd)
render="$root/build/host/intro-render"
jobs=()
remote=()
keep=""
keep_given=""
output=""
output_given=""
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
    --keep) keep="$2"; keep_given=1; shift 2 ;;
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

# The rest are intro-render's options. All of its long options are listed, so
# that a prefix means here what it means there (--sample is its own option,
# not --samples; --sa is ambiguous); operands are a misplaced PARTS or a stray
# value.
args=$(getopt -n split_render -o ho:s: \
  -l help,output:,samples:,shader:,crop:,margin:,progress-pictures,no-progress-pictures \
  -l part:,sums:,merge,benchmark,baseline:,cost-map,tile:,watch,eval:,view:,pixel:,sample:,range: \
  -- "$@") || usage_error "bad intro-render option"
eval set -- "$args"
while true; do
  case "$1" in
    -o|--output) output="$2"; output_given=1; shift 2 ;;
    --shader) shader="$2"; shift 2 ;;
    -s|--samples|--crop|--margin) options+=("$1" "$2"); shift 2 ;;
    --no-progress-pictures) shift ;; # a split render writes none
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
    *) usage_error "$1 does not go with a split render" ;;
  esac
done
(($# == 0)) || usage_error "\"$1\" after PARTS is no intro-render option"
[[ -n "$output_given" ]] || usage_error "-o PICTURE is missing"
[[ -n "$output" ]] || usage_error "the output path is empty"
if [[ -n "$keep_given" ]]; then
  [[ -n "$keep" ]] || usage_error "--keep needs a directory name"
  # Parts of an earlier split beside this one's would not merge with them.
  if [[ -e "$keep" || -L "$keep" ]]; then
    [[ -d "$keep" ]] || usage_error "--keep \"$keep\" is not a directory"
    [[ -z "$(ls -A -- "$keep")" ]] ||
      usage_error "--keep \"$keep\" is not empty: give a new or empty directory (an earlier run's sums would not merge with this one's)"
  fi
fi
command -v parallel >/dev/null || fail "GNU parallel is missing (apt-get install parallel)"
command -v -- "$render" >/dev/null || fail "no intro-render at \"$render\" (build it, or name it with --render)"

# The picture's name, as intro-render checks it before its first sample; here
# before the first part, so that no render is thrown away for it.
check_output() {
  local name=$1 base ext target dir probe
  local direct=""
  [[ "$name" == - || (-e "$name" && ! -d "$name" && ! -f "$name") ]] && direct=1
  base=${name##*/}
  ext=""
  [[ "${base:1}" == *.* ]] && ext=".${base##*.}"
  ext=${ext,,}
  if [[ -n "$ext" && "$ext" != .png && "$ext" != .tga && -z "$direct" ]]; then
    usage_error "-o \"$1\": pictures are written as PNG (.png) or TGA (.tga) only"
  fi
  case "$name" in
    -|/dev/stdout|/dev/fd/1|/proc/self/fd/1)
      [[ -z "$stdout_closed" ]] || fail "cannot write \"$name\": standard output is closed" ;;
  esac
  [[ "$name" != - ]] || return 0
  [[ ! -d "$name" ]] || fail "cannot write \"$name\": it is a directory"
  if [[ -n "$direct" ]]; then
    [[ -w "$name" ]] || fail "cannot write \"$name\": permission denied"
    return 0
  fi
  # Through its links to the name finally written, whose directory gets a
  # temporary file first.
  target=$name
  for _ in $(seq 40); do
    [[ -L "$target" ]] || break
    local to
    to=$(readlink -- "$target")
    [[ "$to" == /* || "$target" != */* ]] && target=$to || target=${target%/*}/$to
  done
  [[ "$target" == */* ]] && dir=${target%/*}/ || dir=.
  probe=$(mktemp -p "$dir" .intro-XXXXXXXX 2>/dev/null) ||
    fail "cannot write \"$name\": no file can be made in \"$dir\""
  rm -f -- "$probe"
  if [[ ! -e "$target" ]]; then
    (set -C; : >"$target") 2>/dev/null || fail "cannot write \"$name\": \"$target\" cannot be made"
    rm -f -- "$target"
  fi
}
check_output "$output"

# Jobs run inside the parts directory (remote ones in parallel's own working
# directory there), so every path they see is relative to it or absolute.
if [[ "$render" == */* && "$render" != /* ]]; then render="$PWD/$render"; fi
if [[ "$output" != /* && "$output" != - ]]; then output="$PWD/$output"; fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/split_render.XXXXXX")
keep_tmp=""
trap '[[ -n "$keep_tmp" ]] || rm -rf "$tmp"' EXIT
# The shader as it is now, for every part and the merge, out of DIR.
shader_copy=""
shader_option=()
if [[ -n "$shader" ]]; then
  cp -- "$shader" "$tmp/shader.glsl" || fail "cannot read shader \"$shader\""
  shader_copy="$tmp/shader.glsl"
  shader_option=(--shader "$shader_copy")
fi
# intro-render's own check of the parts' options (and the shader, and PARTS
# against the samples): a sums file in a directory that does not exist stops
# it right after reading them.
probe="$tmp/none/part.sums"
status=0
refusal=$("$render" --part "0/$parts" --sums "$probe" "${shader_option[@]}" "${options[@]}" 2>&1) || status=$?
if [[ $status != 1 || "$refusal" != *"cannot write \"$probe\""* ]]; then
  echo "$refusal" >&2
  exit $((status == 2 ? 2 : 1))
fi

if [[ -n "$keep" ]]; then
  mkdir -p -- "$keep"
  dir=$(cd -- "$keep" && pwd)
else
  dir=$tmp
fi
transfer=()
if ((${#remote[@]})); then
  transfer=("${remote[@]}" --workdir ... --return 'part.{}.sums' --cleanup)
  # "/./": into the remote working directory as shader.glsl.
  if [[ -n "$shader" ]]; then transfer+=(--transferfile "$tmp/./shader.glsl"); fi
fi

names=()
for ((i = 0; i < parts; i++)); do names+=("part.$i.sums"); done
cd "$dir"
# parallel runs jobs on ":" (this machine) in the --workdir too, but neither
# transfers files for them nor returns them: those jobs work in this
# directory and read the shader where it is. The jobs' output goes to
# standard error, which leaves standard output to the picture.
parallel --halt now,fail=1 "${jobs[@]}" "${transfer[@]}" -q \
  sh -c 'dir=$1 shader=$2; shift 2
    if [ "$PARALLEL_SSHLOGIN" = : ]; then cd "$dir" || exit; elif [ -n "$shader" ]; then shader=shader.glsl; fi
    if [ -n "$shader" ]; then set -- "$@" --shader "$shader"; fi
    exec "$@"' sh "$dir" "$shader_copy" \
  "$render" --part "{}/$parts" --sums 'part.{}.sums' "${options[@]}" \
  ::: $(seq 0 $((parts - 1))) >&2
if ! "$render" --merge "${names[@]}" "${shader_option[@]}" -o "$output"; then
  keep_tmp=1
  again="$render --merge $dir/part.{0..$((parts - 1))}.sums${shader_copy:+ --shader $shader_copy} -o PICTURE"
  fail "the merge failed; the sums stay in $dir ($again merges them again)"
fi

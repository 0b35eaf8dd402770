#!/usr/bin/env bash
# Checks the split-render examples by hand: the scripts parse, and their
# index arithmetic run here (Slurm's array variables, a task submitted again
# alone, the indexed Job's completion index) gives shares that merge into the
# single render's picture. Kubernetes is checked only so; Slurm and ssh also
# run for real in split_slurm.sh and split_ssh.sh. Then scripts/split_render.sh
# on local jobs: how it finds the program, and what it refuses before any part
# runs.
#   tests/system/split_examples.sh INTRO_RENDER
set -euo pipefail
render=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
cheap="$root/tests/data/cheap.glsl"

for script in "$root"/scripts/split_render.sh "$root"/docs/slurm/*.sbatch; do bash -n "$script"; done

# Slurm: a share is the task's id of the PARTS given, whatever the submission
# holds. Tasks 0 and 2 of --array=0-2, then task 1 submitted again alone
# (--array=1) with the checkout's own program, from its root as README says:
# it writes its own part and leaves the others be.
geometry=(--samples 5 --crop 100,200,30,20 --margin 4)
"$render" --shader "$cheap" "${geometry[@]}" -o single.png 2>/dev/null
for id in 0 2; do
  SLURM_ARRAY_TASK_ID=$id SLURM_ARRAY_TASK_MIN=0 SLURM_ARRAY_TASK_MAX=2 SLURM_ARRAY_TASK_COUNT=3 \
    INTRO_RENDER="$render" bash "$root/docs/slurm/part.sbatch" 3 parts --shader "$cheap" "${geometry[@]}" 2>/dev/null
done
cp parts/part.0.sums good.0.sums
mkdir -p checkout/build/host
ln -s "$render" checkout/build/host/intro-render
(unset INTRO_RENDER; export PATH=/usr/bin:/bin
  SLURM_SUBMIT_DIR=$tmp/checkout SLURM_ARRAY_TASK_ID=1 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_MAX=1 \
    SLURM_ARRAY_TASK_COUNT=1 bash "$root/docs/slurm/part.sbatch" 3 parts --shader "$cheap" "${geometry[@]}" 2>/dev/null
  SLURM_SUBMIT_DIR=$tmp/checkout bash "$root/docs/slurm/merge.sbatch" 3 parts --shader "$cheap" -o slurm.png 2>/dev/null)
cmp good.0.sums parts/part.0.sums
cmp single.png slurm.png
echo "split_examples: Slurm array shares, one submitted again alone, merge into the single render"

# Kubernetes: the pods' commands, run with each completion index, /data here
# and the cheap shader added (later options win).
# Debian's python3, the one python3-yaml serves, whatever else is on PATH.
/usr/bin/python3 - "$root/docs/kubernetes" > k8s.sh <<'EOF'
import shlex, sys, yaml
parts = yaml.safe_load(open(sys.argv[1] + "/parts-job.yaml"))
merge = yaml.safe_load(open(sys.argv[1] + "/merge-job.yaml"))
spec = parts["spec"]
pod = spec["template"]["spec"]["containers"][0]
env = {e["name"]: e["value"] for e in pod["env"]}
assert spec["completionMode"] == "Indexed", "not an indexed Job"
assert int(env["PARTS"]) == spec["completions"], "PARTS differs from completions"
for claim in (spec, merge["spec"]):
    assert claim["template"]["spec"]["volumes"][0]["persistentVolumeClaim"]["claimName"] == "intro-data"
def command(container):
    assert container["command"] == ["sh", "-c"]
    return shlex.quote(container["args"][0].replace("/data", "$DATA") + ' --shader "$CHEAP" --samples 8 --crop 100,200,30,20')
print(f'for i in $(seq 0 {spec["completions"] - 1}); do JOB_COMPLETION_INDEX=$i PARTS={env["PARTS"]} sh -c {command(pod)}; done')
print("sh -c " + command(merge["spec"]["template"]["spec"]["containers"][0]))
EOF
mkdir data bin
ln -s "$render" bin/intro-render
"$render" --shader "$cheap" --samples 8 --crop 100,200,30,20 -o single8.png 2>/dev/null
PATH="$tmp/bin:$PATH" DATA="$tmp/data" CHEAP="$cheap" bash k8s.sh 2>/dev/null
cmp single8.png data/intro.png
echo "split_examples: indexed Job shares merge into the single render"

# split_render.sh's program as a path relative to the working directory and
# as a bare name on PATH (with --sh, intro-render's own prefix of --shader).
split=("$root/scripts/split_render.sh")
export TMPDIR=$tmp # what a run leaves behind goes with this test
bash "${split[@]}" --render bin/intro-render 2 --shader "$cheap" "${geometry[@]}" -o relative.png 2>/dev/null
PATH="$tmp/bin:$PATH" bash "${split[@]}" --render intro-render 2 --sh "$cheap" "${geometry[@]}" -o bare.png 2>/dev/null
cmp single.png relative.png
cmp single.png bare.png
echo "split_examples: split_render.sh runs --render as a relative path and as a name on PATH"

# Refused before any part runs: pictures intro-render would not write (no
# render thrown away at the merge), options it would read otherwise, more
# parts than samples, an empty or used --keep. The probe's --part writes into
# a directory that does not exist; a real part writes part.I.sums.
cat >logged <<LOGGED
#!/bin/bash
echo "\$*" >>"$tmp/calls"
[[ -z "\${FAIL_MERGE:-}" || " \$* " != *" --merge "* ]] || exit 1
exec "$render" "\$@"
LOGGED
chmod +x logged
mkdir used
echo mine >used/shader.glsl
refused() {
  local want=$1 status=0
  shift
  : >calls
  bash "${split[@]}" --render ./logged "$@" 2>refused.log || status=$?
  [[ $status == "$want" ]] || { echo "split_examples: $* gave $status, not $want" >&2; cat refused.log >&2; exit 1; }
  ! grep -q -- '--sums part\.' calls || { echo "split_examples: $* ran parts before refusing" >&2; exit 1; }
}
g=(--shader "$cheap" "${geometry[@]}")
refused 2 2 "${g[@]}" -o x.jpg
refused 1 2 "${g[@]}" -o nodir/x.png
refused 1 2 "${g[@]}" -o used
refused 1 2 "${g[@]}" -o - >&-
refused 2 2 "${g[@]}" --sample 3 -o x.png
refused 2 2 "${g[@]}" --sa 3 -o x.png
refused 2 6 "${g[@]}" -o x.png
refused 2 --keep '' 2 "${g[@]}" -o x.png
refused 2 --keep used 2 "${g[@]}" -o x.png
[[ $(cat used/shader.glsl) == mine && ! -e x.png ]]
echo "split_examples: split_render.sh refuses bad pictures, options and folders before any part"

# --keep DIR gets the sums and nothing else; a merge that fails keeps the sums
# and says where they are.
bash "${split[@]}" --render "$render" --keep kept 2 "${g[@]}" -o kept.png 2>/dev/null
[[ "$(ls -A kept)" == "$(printf 'part.0.sums\npart.1.sums')" ]]
status=0
FAIL_MERGE=1 bash "${split[@]}" --render ./logged 2 "${g[@]}" -o failed.png 2>failed.log || status=$?
left=$(sed -n 's/.*the sums stay in \([^ ]*\) .*/\1/p' failed.log)
[[ $status == 1 && -n "$left" && ! -e failed.png ]]
"$render" --merge "$left"/part.{0,1}.sums --shader "$left/shader.glsl" -o failed.png 2>/dev/null
cmp single.png failed.png
echo "split_examples: split_render.sh keeps only sums in --keep, and the sums of a failed merge"

# The scripts a new user runs first: --help answered and unknown options
# refused before any set-up or build; a display that cannot be opened stops
# run.sh before its build; run.sh's standard output is the program's alone,
# the set-up's and the build's logs on standard error (checked where the
# program under test is this checkout's build, which run.sh builds again).
for script in build test setup regen_golden run split_render; do
  bash "$root/scripts/$script.sh" --help >help.txt
  grep -q "scripts/$script.sh" help.txt
done
for script in build test setup regen_golden; do
  status=0
  bash "$root/scripts/$script.sh" --bogus >/dev/null 2>bogus.log || status=$?
  [[ $status == 2 ]] && grep -q unknown bogus.log
done
status=0
DISPLAY=:77 bash "$root/scripts/run.sh" >dead.out 2>dead.log || status=$?
[[ $status == 1 && ! -s dead.out ]] && grep -q 'cannot open display ":77"' dead.log
if [[ "$render" == "$root/build/host/intro-render" ]]; then
  DISPLAY= bash "$root/scripts/run.sh" --eval 1.0 >eval.out 2>/dev/null
  [[ "$(cat eval.out)" == "1.0 = 1" ]]
fi
echo "split_examples: the scripts answer --help, refuse unknown options and a dead display, keep stdout the program's"

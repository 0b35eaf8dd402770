#!/usr/bin/env bash
# Checks the split-render examples by hand: the scripts parse, and their
# index arithmetic run here (Slurm's array variables for a strided range, the
# indexed Job's completion index) gives shares that merge into the single
# render's picture. Kubernetes is checked only so; Slurm and ssh also run for
# real in split_slurm.sh and split_ssh.sh.
#   tests/system/split_examples.sh INTRO_RENDER
set -euo pipefail
render=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
cheap="$root/tests/data/cheap.glsl"

for script in "$root"/scripts/split_render.sh "$root"/docs/slurm/*.sbatch; do bash -n "$script"; done

# Slurm: a strided range, --array=10-14:2, is shares 0, 1, 2 of 3.
geometry=(--samples 5 --crop 100,200,30,20 --margin 4)
"$render" --shader "$cheap" "${geometry[@]}" -o single.png 2>/dev/null
for id in 10 12 14; do
  SLURM_ARRAY_TASK_ID=$id SLURM_ARRAY_TASK_MIN=10 SLURM_ARRAY_TASK_STEP=2 SLURM_ARRAY_TASK_COUNT=3 \
    INTRO_RENDER="$render" bash "$root/docs/slurm/part.sbatch" parts --shader "$cheap" "${geometry[@]}" 2>/dev/null
done
INTRO_RENDER="$render" bash "$root/docs/slurm/merge.sbatch" parts --shader "$cheap" -o slurm.png 2>/dev/null
cmp single.png slurm.png
echo "split_examples: Slurm array shares merge into the single render"

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

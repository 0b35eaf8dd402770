#!/usr/bin/env bash
# The Slurm examples on a real one-node cluster on this machine: munged,
# slurmctld and slurmd started here from a generated configuration, all state
# in a temporary directory. Submits README's two commands (the part array,
# then the merge with afterok) and checks the picture against the single
# render; then that a failed array task keeps the merge from running, and
# that the task submitted again alone completes the picture.
#   tests/system/split_slurm.sh INTRO_RENDER
# Needs root (the daemons run as root); exits 77 (skipped) otherwise.
set -euo pipefail
if [[ $(id -u) -ne 0 ]]; then
  echo "split_slurm: skipped: the Slurm daemons need root"
  exit 77
fi
render=$(realpath "$1")
# Only this test's cluster: none of a surrounding job's settings.
unset $(compgen -e | grep -E '^(SLURM|SBATCH|SALLOC|SRUN)_') 2>/dev/null || true
root=$(cd "$(dirname "$0")/../.." && pwd)
cheap="$root/tests/data/cheap.glsl"

tmp=$(mktemp -d)
chmod 0755 "$tmp" # munged refuses a socket directory others can write to
pids=()
finish() {
  local status=$?
  if ((${#pids[@]} > 1)); then # slurmctld started: no job outlives the test
    scancel --user="$(id -un)" 2>/dev/null || true
    wait_for 20 no_jobs || true
  fi
  # Last started, first stopped: munged outlives the Slurm daemons.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait_for 10 gone "${pids[i]}" || kill -9 "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$tmp"
  exit "$status"
}
trap finish EXIT
gone() { ! kill -0 "$1" 2>/dev/null; }
# Slurm's clients retry a controller that does not answer: bounded here.
sbatch() { timeout 60 sbatch "$@"; }
scontrol() { timeout 20 scontrol "$@"; }
scancel() { timeout 20 scancel "$@"; }
squeue() { timeout 20 squeue "$@"; }
no_jobs() { [[ -z "$(squeue -h 2>/dev/null)" ]]; }
fail() {
  echo "split_slurm: $1" >&2
  shift
  for log in "$@"; do echo "--- $log" >&2; tail -n 40 "$log" >&2 || true; done
  exit 1
}
# Polls COMMAND for up to SECONDS.
wait_for() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

for program in munged mungekey slurmctld slurmd sbatch scontrol; do
  command -v "$program" >/dev/null || fail "$program is missing (bash scripts/setup.sh installs it)"
done
free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# munge with its own key and socket.
mkdir -m 0700 "$tmp/munge"
mungekey --create --keyfile="$tmp/munge/key" 2>"$tmp/munge/log"
socket="$tmp/munge/socket"
munged --foreground --force --socket="$socket" --key-file="$tmp/munge/key" --pid-file="$tmp/munge/pid" \
  --seed-file="$tmp/munge/seed" --log-file="$tmp/munge/log" 2>>"$tmp/munge/log" &
pids+=($!)
wait_for 10 test -S "$socket" || fail "munged did not start" "$tmp/munge/log"

# One node, this host, with its real CPU count; no accounting, no cgroups.
host=$(hostname -s)
cpus=$(nproc)
mkdir -p "$tmp/state" "$tmp/spool"
export SLURM_CONF="$tmp/slurm.conf"
cat >"$SLURM_CONF" <<EOF
ClusterName=introtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=intro Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -D -f "$SLURM_CONF" >"$tmp/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$host" >"$tmp/slurmd.out" 2>&1 &
pids+=($!)
node_idle() { scontrol show node "$host" 2>/dev/null | grep -q 'State=IDLE'; }
wait_for 30 node_idle ||
  fail "the node did not come up" "$tmp/slurmctld.out" "$tmp/slurmctld.log" "$tmp/slurmd.out" "$tmp/slurmd.log"

job_state() { scontrol show job "$1" | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p' | sort -u | tr '\n' ' '; }
# Every task of job $1 is in a finished state.
job_done() { ! job_state "$1" | grep -Eq 'PENDING|RUNNING|CONFIGURING|COMPLETING'; }

# README's commands as written, from the root of a checkout of its own (the
# docs and a build of the program) on a small crop: the parts and the merge
# find the checkout's program without INTRO_RENDER.
mkdir -p "$tmp/work/build/host"
ln -s "$root/docs" "$tmp/work/docs"
ln -s "$render" "$tmp/work/build/host/intro-render"
cd "$tmp/work"
unset INTRO_RENDER
geometry=(--shader "$cheap" --samples 5 --crop 100,200,30,20 --margin 4)
"$render" "${geometry[@]}" -o single.png 2>/dev/null
array=$(sbatch --parsable --array=0-2 docs/slurm/part.sbatch 3 parts "${geometry[@]}")
merge=$(sbatch --parsable --dependency=afterok:$array docs/slurm/merge.sbatch 3 parts --shader "$cheap" -o intro.png)
wait_for 120 job_done "$merge" || fail "the jobs did not finish: $(scontrol show job "$array")" "$tmp/slurmctld.log" "$tmp/slurmd.log"
[[ $(job_state "$array") == "COMPLETED " && $(job_state "$merge") == "COMPLETED " ]] ||
  fail "the jobs failed: $(job_state "$array")/ $(job_state "$merge")" intro-*.log
cmp single.png intro.png || fail "the merged picture differs from the single render"
echo "split_slurm: an array of 3 parts and its merge give the single render's picture"

# A task that fails: afterok can never be met, so the merge never runs. The
# task submitted again alone writes its own part, not part 0 of 1, and a new
# merge that waits for it gives the picture.
rm -rf parts
cat >fail-one <<EOF
#!/bin/bash
[[ \$SLURM_ARRAY_TASK_ID != 1 ]] || exit 1
exec "$render" "\$@"
EOF
chmod +x fail-one
array=$(INTRO_RENDER="$PWD/fail-one" sbatch --parsable --array=0-2 docs/slurm/part.sbatch 3 parts "${geometry[@]}")
merge=$(sbatch --parsable --dependency=afterok:$array docs/slurm/merge.sbatch 3 parts --shader "$cheap" -o failed.png)
never() { scontrol show job "$merge" | grep -q 'Reason=DependencyNeverSatisfied'; }
wait_for 120 job_done "$array" || fail "the array did not finish: $(job_state "$array")" "$tmp/slurmd.log"
wait_for 30 never || fail "the merge is not held for good: $(scontrol show job "$merge")"
[[ $(job_state "$merge") == "PENDING " ]] || fail "the merge ran: $(job_state "$merge")"
[[ ! -e failed.png ]] || fail "a picture from a failed array"
scancel "$merge"
echo "split_slurm: a failed task keeps the merge from running"
cp parts/part.0.sums good.0.sums
rerun=$(sbatch --parsable --array=1 docs/slurm/part.sbatch 3 parts "${geometry[@]}")
merge=$(sbatch --parsable --dependency=afterok:$rerun docs/slurm/merge.sbatch 3 parts --shader "$cheap" -o rerun.png)
wait_for 120 job_done "$merge" || fail "the rerun did not finish: $(job_state "$rerun")" "$tmp/slurmd.log"
[[ $(job_state "$merge") == "COMPLETED " ]] || fail "the rerun's merge failed: $(job_state "$merge")" intro-*.log
cmp good.0.sums parts/part.0.sums || fail "the rerun replaced a good part"
cmp single.png rerun.png || fail "the rerun's picture differs from the single render"
echo "split_slurm: the failed task submitted again alone completes the picture"

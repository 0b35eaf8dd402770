#!/usr/bin/env bash
# scripts/split_render.sh over real ssh: an sshd started here on a loopback
# port, with a host key and a user key generated in a temporary directory (the
# machine's own ssh configuration is left alone), serves as "node1" and
# "node2". Checks remote parts alone and mixed with this machine's (":").
#   tests/system/split_ssh.sh INTRO_RENDER
# Needs root (sshd's privilege separation); exits 77 (skipped) otherwise.
set -euo pipefail
if [[ $(id -u) -ne 0 ]]; then
  echo "split_ssh: skipped: sshd needs root"
  exit 77
fi
render=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
cheap="$root/tests/data/cheap.glsl"

tmp=$(mktemp -d)
sshd_pid=""
made_privsep=""
finish() {
  local status=$?
  if [[ -n "$sshd_pid" ]]; then
    kill "$sshd_pid" 2>/dev/null || true
    wait "$sshd_pid" 2>/dev/null || true
  fi
  if [[ -n "$made_privsep" ]]; then rmdir /run/sshd 2>/dev/null || true; fi
  rm -rf "$tmp"
  exit "$status"
}
trap finish EXIT
fail() {
  echo "split_ssh: $1" >&2
  shift
  for log in "$@"; do echo "--- $log" >&2; tail -n 40 "$log" >&2 || true; done
  exit 1
}

sshd=/usr/sbin/sshd # sshd re-executes itself: it needs its absolute path
[[ -x "$sshd" ]] || fail "sshd is missing (bash scripts/setup.sh installs it)"
if [[ ! -d /run/sshd ]]; then
  mkdir -m 0755 /run/sshd
  made_privsep=1
fi
ssh-keygen -q -t ed25519 -N '' -C '' -f "$tmp/host_key"
ssh-keygen -q -t ed25519 -N '' -C '' -f "$tmp/user_key"
cp "$tmp/user_key.pub" "$tmp/authorized_keys"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user=$(id -un)
# The remote side's HOME (parallel's working directories) is in here too.
mkdir "$tmp/home" "$tmp/remote"
cat >"$tmp/sshd_config" <<EOF
ListenAddress 127.0.0.1:$port
HostKey $tmp/host_key
PidFile $tmp/sshd.pid
AuthorizedKeysFile $tmp/authorized_keys
StrictModes no
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
AllowUsers $user
SetEnv HOME=$tmp/remote
EOF
echo "[127.0.0.1]:$port $(cat "$tmp/host_key.pub")" >"$tmp/known_hosts"
cat >"$tmp/ssh_config" <<EOF
Host node1 node2
  HostName 127.0.0.1
  Port $port
# 127.0.0.1 itself gets its port from the login.
Host node1 node2 127.0.0.1
  User $user
  IdentityFile $tmp/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $tmp/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  ConnectTimeout 10
EOF
"$sshd" -D -e -f "$tmp/sshd_config" 2>"$tmp/sshd.log" &
sshd_pid=$!
for _ in $(seq 50); do
  grep -q 'Server listening' "$tmp/sshd.log" && break
  kill -0 "$sshd_pid" 2>/dev/null || fail "sshd did not start" "$tmp/sshd.log"
  sleep 0.2
done
HOME="$tmp/home" timeout 20 ssh -F "$tmp/ssh_config" node1 true 2>"$tmp/ssh.log" || fail "no login on sshd" "$tmp/ssh.log" "$tmp/sshd.log"

# As README shows; without SHELL, which a minimal environment lacks and
# parallel's local side then does without.
cd "$tmp"
geometry=(--samples 6 --crop 0,500,48,32 --shader "$cheap")
"$render" "${geometry[@]}" -o single.png 2>/dev/null
split() {
  env -u SHELL HOME="$tmp/home" PARALLEL_SSH="ssh -F $tmp/ssh_config" \
    timeout 300 bash "$root/scripts/split_render.sh" --render "$render" "$@" "${geometry[@]}" 2>"$tmp/split.log" ||
    fail "split_render.sh $* failed" "$tmp/split.log" "$tmp/sshd.log"
}
split --keep parts --sshlogin node1,node2 -j 1 3 -o remote.png
cmp single.png remote.png || fail "remote parts differ from the single render"
[[ -f parts/part.2.sums ]] || fail "--keep kept no sums"
echo "split_ssh: three parts on two machines over ssh give the single render's picture"

split --sshlogin :,node1,node2 -j 1 4 -o mixed.png
cmp single.png mixed.png || fail "parts here and over ssh differ from the single render"
echo "split_ssh: parts on this machine and over ssh give the single render's picture"

# A port in the login, in both of parallel's spellings, as the docs give them.
split --sshlogin "$user@127.0.0.1:$port,ssh -F $tmp/ssh_config -p $port 127.0.0.1" -j 1 2 -o ports.png
cmp single.png ports.png || fail "parts over logins with ports differ from the single render"
echo "split_ssh: logins with a port (user@host:port, ssh -p PORT host) give the single render's picture"

#!/usr/bin/env bash
# Computers that make themselves known by WS-Discovery only, as the peers
# of the discovery tests: Debian's wsdd, and a hostile responder.
#
#   tests/peer/wsdd-peer.sh run -- COMMAND ARGS...
#
# Sets up a small private network, runs COMMAND inside it, removes
# everything again and exits with COMMAND's status; 77 (a skipped test)
# when it cannot be made here (not root, no network namespaces, no wsdd).
# Nothing runs outside the namespaces it creates, and nothing announces
# itself anywhere else:
#
#   client    198.51.100.1   COMMAND runs here; no route anywhere else
#   host 1    198.51.100.11  wsdd: MERIDIAN in the workgroup HARBOURWG
#   host 2    198.51.100.12  wsdd: LANTERN in the domain harbour.example
#   host 3    198.51.100.13  wsdd: BEACON in HARBOURWG, claiming host 1's
#                            endpoint (as wsdd in namespaces of one machine do)
#   host 4    198.51.100.14  wsdd without its HTTP side: SILENT in HARBOURWG
#   host 5    198.51.100.15  tests/peer/wsd-garbage.py: answers with garbage
#
# A bridge in a namespace of its own joins them. COMMAND sees:
#   SKARVET_WSD_PEER=1             the peers are up
#   SKARVET_WSD_PEER_CONF          a client smb.conf for this network
set -uo pipefail

readonly SKIP=77
readonly NET=198.51.100
readonly HOSTS=5

say() { echo "wsdd-peer: $*" >&2; }
skip() {
  say "SKIPPED: $*"
  exit "$SKIP"
}

if [ "${1:-}" != run ] || [ "${2:-}" != -- ] || [ $# -lt 3 ]; then
  say "usage: $0 run -- COMMAND ARGS..."
  exit 2
fi
shift 2
here=$(cd "$(dirname "$0")" && pwd)

[ "$(id -u)" -eq 0 ] || skip "the WS-Discovery peers need root (network namespaces)"
for tool in ip setsid wsdd python3; do
  command -v "$tool" >/dev/null || skip "$tool is missing (install wsdd iproute2)"
done

readonly TAG="skwsd$$"
# Removes what an earlier run killed without its clean-up left behind.
remove_namespace() {
  local ns=$1 pid
  for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
  ip netns del "$ns" 2>/dev/null
}
for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
  if [[ $ns =~ ^skwsd([0-9]+)[a-z0-9]+$ ]] && ! kill -0 "${BASH_REMATCH[1]}" 2>/dev/null; then
    say "removing $ns, left by an earlier run"
    remove_namespace "$ns"
  fi
done

work=$(mktemp -d /tmp/skarvet-wsd.XXXXXX) || skip "no temporary folder"
namespaces=("${TAG}hub" "${TAG}c")
for i in $(seq "$HOSTS"); do namespaces+=("${TAG}h$i"); done
pids=()
command_pid=
cleaned=
# shellcheck disable=SC2317  # run by the traps below
cleanup() {
  [ -n "$cleaned" ] && return
  cleaned=1
  [ -n "$command_pid" ] && kill -TERM "$command_pid" 2>/dev/null
  local pid ns
  # Each daemon leads a process group of its own: stop the group.
  for pid in "${pids[@]}"; do kill -TERM -- "-$pid" 2>/dev/null; done
  for _ in $(seq 20); do
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && break; done || break
    sleep 0.1
  done
  # Whatever is still inside one of the namespaces goes by its process id.
  for ns in "${namespaces[@]}"; do remove_namespace "$ns"; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM HUP

for ns in "${namespaces[@]}"; do
  ip netns add "$ns" 2>/dev/null || skip "cannot create network namespaces here"
  ip -n "$ns" link set lo up
done
hub=${TAG}hub
join() { # namespace address
  local ns=$1 address=$2
  local port=p${ns#"$TAG"}
  ip -n "$hub" link add "$port" type veth peer name eth0 netns "$ns" &&
    ip -n "$hub" link set "$port" master br0 up &&
    ip -n "$ns" addr add "$address/24" dev eth0 &&
    ip -n "$ns" link set eth0 up
}
{
  ip -n "$hub" link add br0 type bridge && ip -n "$hub" link set br0 up &&
    join "${TAG}c" "$NET.1" &&
    for i in $(seq "$HOSTS"); do join "${TAG}h$i" "$NET.1$i" || exit 1; done
} || skip "cannot join the namespaces (veth or bridge links missing)"

# Starts "$@" in namespace $1 as the leader of a process group of its own.
start() {
  local ns=$1
  shift
  ip netns exec "$ns" setsid "$@" </dev/null >>"$work/daemons.log" 2>&1 &
  pids+=($!)
}
start "${TAG}h1" wsdd -i eth0 -4 -n MERIDIAN -w HARBOURWG -U 5ca1ab1e-1111-4000-8000-000000000001
start "${TAG}h2" wsdd -i eth0 -4 -n LANTERN -d harbour.example -U 5ca1ab1e-2222-4000-8000-000000000002
start "${TAG}h3" wsdd -i eth0 -4 -n BEACON -w HARBOURWG -U 5ca1ab1e-1111-4000-8000-000000000001
start "${TAG}h4" wsdd -i eth0 -4 -t -n SILENT -w HARBOURWG -U 5ca1ab1e-4444-4000-8000-000000000004
start "${TAG}h5" python3 "$here/wsd-garbage.py" "$NET.15"

# Ready once every metadata port answers.
ready() {
  local i
  for i in 1 2 3 5; do
    ip netns exec "${TAG}c" bash -c "exec 3<>/dev/tcp/$NET.1$i/5357" 2>/dev/null || return 1
  done
}
started=$SECONDS
until ready; do
  if ((SECONDS - started > 20)); then
    cat "$work/daemons.log" >&2
    say "the peers did not come up within 20 s"
    exit 1
  fi
  sleep 0.1
done
say "peers ready after $((SECONDS - started)) s"

mkdir -p "$work/client"/{private,var,run,ncalrpc}
cat >"$work/client/smb.conf" <<CONF
[global]
  netbios name = SKCLIENT
  workgroup = HARBOURWG
  interfaces = $NET.1/24
  bind interfaces only = yes
  name resolve order = bcast
  client min protocol = NT1
  private dir = $work/client/private
  lock directory = $work/client/var
  state directory = $work/client/var
  cache directory = $work/client/var
  pid directory = $work/client/run
  ncalrpc dir = $work/client/ncalrpc
CONF
export SKARVET_WSD_PEER=1 SKARVET_WSD_PEER_CONF="$work/client/smb.conf"

ip netns exec "${TAG}c" "$@" &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=
exit "$status"

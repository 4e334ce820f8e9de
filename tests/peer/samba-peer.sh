#!/usr/bin/env bash
# A real Samba server as the peer of the network tests.
#
#   tests/peer/samba-peer.sh run [--browse] -- COMMAND ARGS...
#
# Sets up a small private network, runs COMMAND inside it, removes
# everything again and exits with COMMAND's status; 77 (a skipped test)
# when the peer cannot be made here (not root, no network namespaces, no
# Samba). Nothing runs outside the namespaces it creates:
#
#   client namespace    192.0.2.1  COMMAND runs here; no route anywhere else
#   server namespace    192.0.2.2  smbd + nmbd: the workgroup's master browser,
#                                  its WINS server, the shutdown target
#   second namespace    192.0.2.3  the workgroup's second computer: no file
#                                  server, and with --browse an nmbd
#   (nobody)            192.0.2.9  an address of the subnet where nothing answers
#   second namespace    192.0.2.4  a silent server: accepts on port 445 and
#                                  never answers; takes DNS queries (UDP 53)
#                                  and never answers them either
#
# The client and the server also hold 2001:db8::1 and 2001:db8::2 (/64),
# usable at once (no duplicate address detection).
#
# COMMAND starts once the file server answers (about 2 s). With --browse it
# starts once the workgroup's browse list holds both computers: the master
# browser election alone takes about 20 s, so only tests of the listing ask.
#
# The server namespace holds the bridge that joins the three. The daemons
# run in a private mount namespace with their own passwd and group files
# bound over the system's, and empty folders over /etc/samba, /var/lib/samba
# and the other Samba folders, so no system state is read or written; all
# their state lives in one temporary folder that is removed at the end.
#
# COMMAND sees these environment variables:
#   SKARVET_PEER_HOST             the server's address
#   SKARVET_PEER_HOST6            the server's IPv6 address
#   SKARVET_PEER_NAME             the server's NetBIOS name
#   SKARVET_PEER_NAME2            the second computer's NetBIOS name
#   SKARVET_PEER_HOST2            the second computer's address (it runs no
#                                 file server: a host with no server)
#   SKARVET_PEER_WORKGROUP        the workgroup of both
#   SKARVET_PEER_DOWN_HOST        an address where nothing answers
#   SKARVET_PEER_SILENT_HOST      a server that accepts connections on port
#                                 445 and never answers them, and a DNS
#                                 server (UDP 53) that never answers
#   SKARVET_PEER_CONF             a client smb.conf that finds the peer
#                                 (WINS, interfaces, private client state)
#   SKARVET_PEER_RECORD           the shutdown script appends one line per
#                                 accepted request: message, "-r" or "",
#                                 "-f" or "", reason as signed decimal,
#                                 separated by tabs
#   SKARVET_PEER_HOLD             while this file exists, an accepted request
#                                 waits in the shutdown script (up to 30 s);
#                                 SKARVET_PEER_HOLD.reached appears when one
#                                 arrives there
#   SKARVET_PEER_ADMIN            an account holding SeRemoteShutdownPrivilege
#   SKARVET_PEER_ADMIN_PASSWORD   its password
#   SKARVET_PEER_USER             an account without that right
#   SKARVET_PEER_USER_PASSWORD    its password
#   SKARVET_PEER_SMBD_PIDFILE     holds smbd's process id, which is also the
#                                 process group of the whole file server
#                                 (kill the group to take the server down)
#
# SKARVET_PEER_KEEP_LOGS=1 keeps the temporary folder (with the daemons'
# logs) and prints where it is.
set -uo pipefail

readonly SKIP=77
readonly NET=192.0.2
readonly NET6=2001:db8:
readonly WORKGROUP=SKARVETLAB
readonly NAME1=SKPEER1
readonly NAME2=SKPEER2
readonly ADMIN=skarvetadm
readonly ADMIN_PASSWORD=Adm1nPeer
readonly USER_NAME=skarvetusr
readonly USER_PASSWORD=Us3rPeer

say() { echo "samba-peer: $*" >&2; }
skip() {
  say "SKIPPED: $*"
  exit "$SKIP"
}

browse=
if [ "${1:-}" = run ] && [ "${2:-}" = --browse ]; then
  browse=1
  set -- run "${@:3}"
fi
if [ "${1:-}" != run ] || [ "${2:-}" != -- ] || [ $# -lt 3 ]; then
  say "usage: $0 run [--browse] -- COMMAND ARGS..."
  exit 2
fi
shift 2

[ "$(id -u)" -eq 0 ] || skip "the Samba peer needs root (network namespaces)"
for tool in ip unshare mount setsid smbd nmbd smbpasswd net smbclient; do
  command -v "$tool" >/dev/null || skip "$tool is missing (install samba smbclient iproute2)"
done

# Namespaces are named after this script's process, so that concurrent runs
# do not meet and a run that was killed outright can be recognised later.
readonly TAG="skpeer$$"
readonly NS_CLIENT="${TAG}c" NS_SERVER="${TAG}s" NS_SECOND="${TAG}t"

# Removes what an earlier run killed without its clean-up left behind.
remove_namespace() {
  local ns=$1 pid
  for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
  ip netns del "$ns" 2>/dev/null
}
for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
  if [[ $ns =~ ^skpeer([0-9]+)[cst]$ ]] && ! kill -0 "${BASH_REMATCH[1]}" 2>/dev/null; then
    say "removing $ns, left by an earlier run"
    remove_namespace "$ns"
  fi
done

work=$(mktemp -d /tmp/skarvet-peer.XXXXXX) || skip "no temporary folder"
chmod 755 "$work"
command_pid=
cleaned=

# shellcheck disable=SC2317 # called through the traps
cleanup() {
  [ -n "$cleaned" ] && return
  cleaned=1
  [ -n "$command_pid" ] && kill -TERM "$command_pid" 2>/dev/null
  local pidfile pid ns
  # Each daemon leads its own process group: stop the group.
  for pidfile in "$work"/pids/*; do
    [ -f "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    [ -n "$pid" ] && kill -TERM -- "-$pid" 2>/dev/null
  done
  for _ in $(seq 20); do
    [ -z "$(ip netns pids "$NS_SERVER" 2>/dev/null)$(ip netns pids "$NS_SECOND" 2>/dev/null)" ] && break
    sleep 0.1
  done
  # Whatever is still inside one of our namespaces (helpers that made a
  # group of their own) goes by its process id.
  for ns in "$NS_CLIENT" "$NS_SERVER" "$NS_SECOND"; do remove_namespace "$ns"; done
  if [ "${SKARVET_PEER_KEEP_LOGS:-}" = 1 ]; then
    say "logs kept in $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM HUP

# --- the network ----------------------------------------------------------------
for ns in "$NS_CLIENT" "$NS_SERVER" "$NS_SECOND"; do
  ip netns add "$ns" 2>/dev/null || skip "cannot create network namespaces here"
  ip -n "$ns" link set lo up
done
setup_network() {
  ip -n "$NS_SERVER" link add br0 type bridge &&
    ip -n "$NS_SERVER" link set br0 up &&
    ip -n "$NS_SERVER" addr add "$NET.2/24" dev br0 &&
    ip -n "$NS_SERVER" link add toclient type veth peer name eth0 netns "$NS_CLIENT" &&
    ip -n "$NS_SERVER" link add tosecond type veth peer name eth0 netns "$NS_SECOND" &&
    ip -n "$NS_SERVER" link set toclient master br0 up &&
    ip -n "$NS_SERVER" link set tosecond master br0 up &&
    ip -n "$NS_CLIENT" addr add "$NET.1/24" dev eth0 &&
    ip -n "$NS_CLIENT" link set eth0 up &&
    ip -n "$NS_SECOND" addr add "$NET.3/24" dev eth0 &&
    ip -n "$NS_SECOND" link set eth0 up
}
setup_network || skip "cannot join the namespaces (veth or bridge links missing)"
setup_network6() {
  ip -n "$NS_SERVER" addr add "$NET6:2/64" dev br0 nodad &&
    ip -n "$NS_CLIENT" addr add "$NET6:1/64" dev eth0 nodad
}
setup_network6 || skip "cannot give the namespaces IPv6 addresses"

# --- accounts, configuration, shutdown script ------------------------------------
mkdir -p "$work"/{etc,pids,client,server,second}
cp /etc/passwd "$work/etc/passwd"
cp /etc/group "$work/etc/group"
cat >>"$work/etc/passwd" <<EOF
$ADMIN:x:61001:61001:Skarvet peer administrator:/nonexistent:/usr/sbin/nologin
$USER_NAME:x:61002:61002:Skarvet peer user:/nonexistent:/usr/sbin/nologin
EOF
cat >>"$work/etc/group" <<EOF
$ADMIN:x:61001:
$USER_NAME:x:61002:
EOF

record="$work/record"
hold="$work/hold"
: >"$record"
chmod 644 "$record"
cat >"$work/shut.sh" <<EOF
#!/bin/sh
# Windows refuses a caller without the right; Samba runs this script as
# the caller then, and only a failing script becomes "access denied".
[ "\$(id -u)" -eq 0 ] || exit 1
if [ -e "$hold" ]; then
  : >"$hold.reached"
  i=0
  while [ -e "$hold" ] && [ \$i -lt 300 ]; do sleep 0.1; i=\$((i + 1)); done
fi
printf '%s\t%s\t%s\t%s\n' "\$1" "\$2" "\$3" "\$4" >>"$record"
EOF
chmod 755 "$work/shut.sh"

# Settings every daemon and client of the peer shares: all state private.
state_settings() {
  local dir=$1
  mkdir -p "$dir"/{private,var,run,ncalrpc,nmbd,logs,empty}
  cat <<EOF
  private dir = $dir/private
  lock directory = $dir/var
  state directory = $dir/var
  cache directory = $dir/var
  pid directory = $dir/run
  ncalrpc dir = $dir/ncalrpc
  nmbd:socket dir = $dir/nmbd
  log file = $dir/logs/log.%m
  max log size = 0
  log level = 1
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
  usershare path =
  passdb backend = tdbsam:$dir/private/passdb.tdb
EOF
}

cat >"$work/server/smb.conf" <<EOF
[global]
  netbios name = $NAME1
  workgroup = $WORKGROUP
  server string = Skarvet test peer
  server role = standalone server
  interfaces = $NET.2/24 $NET6:2/64
  bind interfaces only = yes
  server min protocol = NT1
  disable netbios = no
  smb ports = 445 139
  local master = yes
  preferred master = yes
  domain master = yes
  os level = 65
  wins support = yes
  name resolve order = wins bcast
  shutdown script = $work/shut.sh "%z" "%r" "%f" "%x"
  abort shutdown script = /bin/true
$(state_settings "$work/server")
EOF

cat >"$work/second/smb.conf" <<EOF
[global]
  netbios name = $NAME2
  workgroup = $WORKGROUP
  server string = Skarvet second computer
  interfaces = $NET.3/24
  bind interfaces only = yes
  disable netbios = no
  local master = no
  domain master = no
  preferred master = no
  wins server = $NET.2
  name resolve order = wins bcast
$(state_settings "$work/second")
EOF

cat >"$work/client/smb.conf" <<EOF
[global]
  netbios name = SKCLIENT
  workgroup = $WORKGROUP
  interfaces = $NET.1/24 $NET6:1/64
  bind interfaces only = yes
  wins server = $NET.2
  name resolve order = wins bcast
  client min protocol = NT1
$(state_settings "$work/client")
EOF

# Runs "$@" in namespace $1 with the private passwd/group files and the
# empty folder of instance $2 over the system's Samba folders.
in_private() {
  local ns=$1 instance=$2
  shift 2
  # shellcheck disable=SC2016 # expanded by the inner shell
  ip netns exec "$ns" unshare -m --propagation private sh -c '
    work=$1 empty=$2; shift 2
    mount --bind "$work/etc/passwd" /etc/passwd &&
    mount --bind "$work/etc/group" /etc/group || exit 1
    for dir in /etc/samba /var/lib/samba /var/cache/samba /var/log/samba /run/samba; do
      [ -d "$dir" ] && { mount --bind "$empty" "$dir" || exit 1; }
    done
    exec "$@"' sh "$work" "$work/$instance/empty" "$@"
}

# Starts daemon $3 (with its arguments) of instance $2 in namespace $1 as
# the leader of a process group of its own; its process id goes to
# pids/<daemon><instance>.
start_daemon() {
  local ns=$1 instance=$2 daemon=$3
  shift 2
  in_private "$ns" "$instance" sh -c 'setsid "$@" </dev/null >/dev/null 2>&1 & echo $!' sh \
    "$@" -F --no-process-group -l "$work/$instance/logs" -s "$work/$instance/smb.conf" \
    >"$work/pids/$daemon-$instance" || return 1
}

server_conf="$work/server/smb.conf"
in_private "$NS_SERVER" server sh -c "
  set -e
  printf '%s\n%s\n' '$ADMIN_PASSWORD' '$ADMIN_PASSWORD' | smbpasswd -c '$server_conf' -s -a $ADMIN
  printf '%s\n%s\n' '$USER_PASSWORD' '$USER_PASSWORD' | smbpasswd -c '$server_conf' -s -a $USER_NAME
  net -s '$server_conf' sam rights grant $ADMIN SeRemoteShutdownPrivilege
" >"$work/accounts.log" 2>&1 || {
  cat "$work/accounts.log" >&2
  skip "cannot make the peer's accounts (private mount namespace?)"
}

if ! start_daemon "$NS_SERVER" server nmbd || ! start_daemon "$NS_SERVER" server smbd; then
  skip "cannot start the Samba daemons"
fi

# The silent server: holds every connection open and reads nothing, and
# lets DNS queries queue unread (no "port unreachable" either).
command -v python3 >/dev/null || skip "python3 is missing (the silent server)"
silent_server='
import socket, sys
listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((sys.argv[1], 445))
listener.listen(64)
dns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
dns.bind((sys.argv[1], 53))
held = []
while True:
    held.append(listener.accept()[0])
'
ip -n "$NS_SECOND" addr add "$NET.4/24" dev eth0 || skip "cannot add the silent server's address"
ip netns exec "$NS_SECOND" setsid python3 -c "$silent_server" "$NET.4" </dev/null >/dev/null 2>&1 &
echo $! >"$work/pids/silent-second"

# Fails when a daemon has ended, showing the ends of the logs.
daemons_alive() {
  local pidfile
  for pidfile in "$work"/pids/*; do
    kill -0 "$(cat "$pidfile")" 2>/dev/null && continue
    tail -n 20 "$work"/*/logs/log.* >&2
    say "$(basename "$pidfile") ended at start-up"
    return 1
  done
}

in_client() { ip netns exec "$NS_CLIENT" "$@"; }

# Waits up to $1 seconds for the command after it to succeed, watching the
# daemons meanwhile.
wait_until() {
  local limit=$1
  shift
  local begun=$SECONDS
  until "$@"; do
    daemons_alive || return 1
    ((SECONDS - begun < limit)) || return 1
    sleep 0.1
  done
}
# The conditions below are called through wait_until.
# shellcheck disable=SC2317
file_server_answers() {
  in_client smbclient -s "$work/client/smb.conf" -N -m NT1 -L "$NET.2" -g >/dev/null 2>&1
}
# shellcheck disable=SC2317
master_browser_elected() {
  grep -q "now a local master browser" "$work/server/logs/log.nmbd" 2>/dev/null
}
# The list the file server hands out is nmbd's browse.dat.
# shellcheck disable=SC2317
second_computer_listed() {
  grep -q "^\"$NAME2\"" "$work/server/var/browse.dat" 2>/dev/null
}

started=$SECONDS
wait_until 30 file_server_answers || {
  say "the file server did not answer within 30 s"
  exit 1
}
if [ -n "$browse" ]; then
  # A computer's first announcement is lost while the workgroup has no
  # master browser yet, and the next comes minutes later: so the second
  # computer starts once the master is in place.
  wait_until 60 master_browser_elected || {
    say "the server did not become the master browser within a minute"
    exit 1
  }
  start_daemon "$NS_SECOND" second nmbd || skip "cannot start the Samba daemons"
  wait_until 30 second_computer_listed || {
    say "the second computer did not reach the browse list within 30 s"
    exit 1
  }
fi
say "peer ready after $((SECONDS - started)) s"

export SKARVET_PEER_HOST="$NET.2"
export SKARVET_PEER_HOST6="$NET6:2"
export SKARVET_PEER_NAME="$NAME1"
export SKARVET_PEER_NAME2="$NAME2"
export SKARVET_PEER_HOST2="$NET.3"
export SKARVET_PEER_WORKGROUP="$WORKGROUP"
export SKARVET_PEER_DOWN_HOST="$NET.9"
export SKARVET_PEER_SILENT_HOST="$NET.4"
export SKARVET_PEER_CONF="$work/client/smb.conf"
export SKARVET_PEER_RECORD="$record"
export SKARVET_PEER_HOLD="$hold"
export SKARVET_PEER_ADMIN="$ADMIN"
export SKARVET_PEER_ADMIN_PASSWORD="$ADMIN_PASSWORD"
export SKARVET_PEER_USER="$USER_NAME"
export SKARVET_PEER_USER_PASSWORD="$USER_PASSWORD"
export SKARVET_PEER_SMBD_PIDFILE="$work/pids/smbd-server"

# In the background, so that a signal reaches the traps at once.
in_client "$@" &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=
exit "$status"

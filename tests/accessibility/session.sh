#!/usr/bin/env bash
# Inside the private D-Bus session of atspi-test.sh: starts the AT-SPI bus,
# turns accessibility on as a screen reader does, starts the program and
# runs the client against it. Stops what it started.
#
#   session.sh LAUNCHER PROGRAM PYTHON CLIENT WORK_DIR
set -euo pipefail
launcher=$1 program=$2 python=$3 client=$4 work=$5

launcher_pid=
program_pid=
cleanup() {
  [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
  [ -z "$launcher_pid" ] || kill "$launcher_pid" 2>/dev/null || true
}
trap cleanup EXIT

"$launcher" --launch-immediately >"$work/launcher.log" 2>&1 &
launcher_pid=$!
enabled=
for _ in $(seq 50); do
  if dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true >/dev/null 2>&1; then
    enabled=yes
    break
  fi
  sleep 0.1
done
if [ -z "$enabled" ]; then
  echo "atspi-test: SKIPPED: the AT-SPI bus did not start: $(tail -n 3 "$work/launcher.log")"
  exit 77
fi

# The registry starts on its first use; the program and the client then
# both find it running.
if ! timeout 30 "$python" -c 'import pyatspi; pyatspi.Registry.getDesktop(0).childCount' \
  >"$work/registry.log" 2>&1; then
  echo "atspi-test: SKIPPED: the AT-SPI registry did not start: $(tail -n 3 "$work/registry.log")"
  exit 77
fi

QT_QPA_PLATFORM=xcb "$program" >"$work/program.log" 2>&1 &
program_pid=$!
status=0
"$python" "$client" "$program_pid" || status=$?
if [ "$status" -ne 0 ]; then
  sed 's/^/   program: /' "$work/program.log" >&2
  exit "$status"
fi
# The client pressed Exit: the program ends by itself, with status 0.
for _ in $(seq 300); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$program_pid" 2>/dev/null; then
  echo "FAIL: Exit pressed through its action did not end the program" >&2
  exit 1
fi
program_status=0
wait "$program_pid" || program_status=$?
program_pid=
if [ "$program_status" -ne 0 ]; then
  echo "FAIL: the program ended with status $program_status" >&2
  sed 's/^/   program: /' "$work/program.log" >&2
  exit 1
fi
echo "ok   Exit through its action ended the program with status 0"

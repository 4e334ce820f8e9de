#!/usr/bin/env bash
# The program through the real accessibility stack, as a screen reader
# meets it: a private D-Bus session with the AT-SPI bus and registry
# (at-spi2-core), the program on a private X display (Qt's headless platform
# has no accessibility bridge), and check_atspi.py as the AT-SPI client.
#
#   tests/accessibility/atspi-test.sh SKARVET_PROGRAM
#
# Exits 77 (a skipped test for CTest), saying why, where the stack itself
# cannot start; any fault of the program fails the test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "$1")

work=$(mktemp -d "${TMPDIR:-/tmp}/skarvet-atspi.XXXXXX")
xvfb_pid=
cleanup() {
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

skip() {
  echo "atspi-test: SKIPPED: $*"
  exit 77
}

python=/usr/bin/python3 # Debian's, which has python3-pyatspi
launcher=/usr/libexec/at-spi-bus-launcher
command -v Xvfb >/dev/null || skip "Xvfb is not installed (Debian: xvfb)"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed (Debian: dbus)"
[ -x "$launcher" ] || skip "the AT-SPI bus launcher is not installed (Debian: at-spi2-core)"
"$python" -c 'import pyatspi' 2>/dev/null || skip "the AT-SPI client for Python is not installed (Debian: python3-pyatspi)"

# A display of its own: Xvfb picks a free number and writes it to fd 3.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=
read -r -t 30 display <"$work/display" || true
[ -n "$display" ] || skip "Xvfb did not start: $(tail -n 3 "$work/xvfb.log")"

export DISPLAY=:$display XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Built with AddressSanitizer, the program's own faults still stop it; its
# leaks are the other tests' business (the libraries of the accessibility
# stack keep theirs until the process ends), and the X keyboard library
# reads counted strings the strict string checks take for unterminated ones.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0:strict_string_checks=0
# Its status is the test's (77 when the session could not start the bus).
timeout -k 10 150 dbus-run-session -- bash "$here/session.sh" "$launcher" "$program" \
  "$python" "$here/check_atspi.py" "$work"

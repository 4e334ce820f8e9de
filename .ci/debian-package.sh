#!/usr/bin/env bash
# The Debian package as a user meets it:
#
#  1. builds it (tools/package-deb.sh) and runs lintian on it: no error and
#     no warning (the overrides it carries say why);
#  2. installs it with apt-get, which brings what it depends on;
#  3. starts `skarvet` from PATH on a private X display, with the bare
#     environment a desktop session gives, and then each action of the
#     installed menu entry as a launcher would (the main one on the real
#     network, "Try on the simulated network"): each time the main window
#     must appear with its size, and Exit must end the program with status
#     0 (Restart, Shutdown and Logoff are never pressed, and nothing is
#     sent anywhere);
#  4. validates the installed menu entry;
#  5. purges the package and checks that none of its files, nor dpkg's
#     records of it, are left.
#
# The package installs into /usr on this machine, which others share: it
# is purged again when this script ends, also when a check fails.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=tools/wine/common.sh
source tools/wine/common.sh

started=$SECONDS
step_started=$SECONDS
step_name=
step() {
  [ -z "$step_name" ] || echo "   (${step_name}: $((SECONDS - step_started)) s)"
  step_name=$*
  step_started=$SECONDS
  [ -z "$step_name" ] || echo "-- $* (at $((SECONDS - started)) s)"
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

step "packages"
bash tools/install-deps.sh lintian xvfb xdotool desktop-file-utils dpkg-dev

step "the package (tools/package-deb.sh)"
bash tools/package-deb.sh
version=$(cat build-deb/version.txt)
deb=dist/skarvet_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "tools/package-deb.sh did not write $deb"

step "lintian $deb"
status=0
lintian --fail-on error,warning --display-info "$deb" >"$deb.lintian" 2>&1 || status=$?
grep -v '^running with root privileges' "$deb.lintian" | sed 's/^/   /' || true
rm -f "$deb.lintian"
[ "$status" -eq 0 ] || fail "lintian reports errors or warnings"
echo "   no errors, no warnings"

work=$(mktemp -d "${TMPDIR:-/tmp}/skarvet-deb-check.XXXXXX")
program_pid=
cleanup() {
  [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
  xvfb_stop
  if dpkg-query -W -f='${Status}' skarvet 2>/dev/null | grep -q 'ok installed'; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq skarvet >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

step "apt-get install ./$deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >"$work/apt.log" 2>&1 ||
  {
    cat "$work/apt.log" >&2
    fail "apt-get install ./$deb failed"
  }
dpkg -L skarvet >"$work/files"
[ "$(command -v skarvet)" = /usr/bin/skarvet ] || fail "skarvet is not on PATH as /usr/bin/skarvet"
# Each call of the real network runs in this helper, beside the module.
helper=$(grep '/skarvet/skarvet-smb-call$' "$work/files" || true)
if [ -z "$helper" ] || [ ! -x "$helper" ]; then
  fail "the real network's call helper is missing or not executable"
fi
echo "   $(grep -c . "$work/files") paths; installed size $(dpkg-query -W -f='${Installed-Size}' skarvet) KiB"

step "skarvet from PATH, and the menu entry's actions, under Xvfb"
entry=/usr/share/applications/skarvet.desktop
[ -f "$entry" ] || fail "no menu entry at $entry"
# Not even a hint (two main categories, say) passes.
findings=$(desktop-file-validate "$entry" 2>&1) || true
[ -z "$findings" ] || fail "desktop-file-validate on $entry: $findings"
xvfb_start 1024x768
mkdir -m 700 "$work/runtime" "$work/home"

# Starts the program as a desktop would, with a bare environment, and
# waits for its main window (client area 429 x 423); then presses Exit.
run_and_exit() { # what command...
  local what=$1 id="" size="" status
  shift
  env -i HOME="$work/home" PATH=/usr/local/bin:/usr/bin:/bin DISPLAY="$DISPLAY" \
    XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 "$@" >"$work/program.log" 2>&1 &
  program_pid=$!
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name '^Ondravel Skarvet$' 2>/dev/null | head -n 1 || true)
    [ -z "$id" ] || break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$id" ] || {
    cat "$work/program.log" >&2
    fail "$what: no main window within 30 s"
  }
  size=$(xdotool getwindowgeometry "$id" | awk '/Geometry:/ {print $2}')
  [ "$size" = 429x423 ] || fail "$what: the main window is $size, not 429x423"
  # Exit; the first click may only give the window the focus.
  for _ in 1 2 3; do
    xdotool mousemove --window "$id" 383 402 click 1
    for _ in $(seq 50); do
      kill -0 "$program_pid" 2>/dev/null || break 2
      sleep 0.1
    done
  done
  if kill -0 "$program_pid" 2>/dev/null; then
    fail "$what: Exit did not end the program"
  fi
  status=0
  wait "$program_pid" || status=$?
  program_pid=
  [ "$status" -eq 0 ] || fail "$what: the program ended with status $status"
  echo "ok   $what: main window $size, Exit ended it with status 0"
}

# The Exec lines of the entry's groups. Under /usr they hold plain words
# (tests/install_layout.py checks the quoting other prefixes need).
exec_of() { # group
  awk -v group="[$1]" '/^\[/ {in_group = ($0 == group)} in_group && /^Exec=/ {sub(/^Exec=/, ""); print}' "$entry"
}
run_and_exit "skarvet from PATH" skarvet
for group in "Desktop Entry" "Desktop Action simulated"; do
  line=$(exec_of "$group")
  [[ -n $line && $line != *[\"\'\\%]* ]] || fail "[$group] has no plain Exec line: $line"
  read -ra words <<<"$line"
  run_and_exit "[$group] Exec=$line" "${words[@]}"
done
xvfb_stop

step "apt-get purge skarvet"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq skarvet >"$work/apt.log" 2>&1 ||
  {
    cat "$work/apt.log" >&2
    fail "apt-get purge skarvet failed"
  }
status=$(dpkg-query -W -f='${db:Status-Status}' skarvet 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "dpkg still lists skarvet as $status"
left=()
while IFS= read -r path; do
  # Folders the system shares (/usr/share/icons/hicolor, ...) stay.
  if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == *skarvet* ]]; }; then
    left+=("$path")
  fi
done <"$work/files"
for path in /var/lib/dpkg/info/skarvet.* /var/lib/dpkg/info/skarvet:*; do
  [ ! -e "$path" ] || left+=("$path")
done
((${#left[@]} == 0)) || fail "left after the purge: ${left[*]}"
if command -v skarvet >/dev/null; then
  fail "skarvet is still on PATH: $(command -v skarvet)"
fi
echo "ok   purged: none of its $(grep -c . "$work/files") paths, nor dpkg's records, are left"
step ""
echo "-- Debian package built, installed, run, validated and purged in $((SECONDS - started)) s"

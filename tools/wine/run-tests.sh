#!/usr/bin/env bash
# Runs the test programs of a Windows build (tools/build-windows.sh
# --tests) under Wine (32-bit Wine for an x86 build, wine64 for x64), in a
# fresh Wine prefix on a private X display,
# headless as on Linux (Qt's offscreen platform). Each program runs once
# with all its tests (a Wine start costs about a second), two at a time,
# each within a time limit; a program that fails gets one more run.
#
#   tools/wine/run-tests.sh BUILD_DIR [TIME_LIMIT_SECONDS]
#
# Tests that cannot run under Wine for a reason that is Wine's are listed,
# each with its reason, in tools/wine/test-exclusions.txt; every other test
# must pass. Prints one line per program and a summary; the logs stay in
# BUILD_DIR/wine-tests/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
limit=${2:-300}
# shellcheck source=tools/wine/common.sh
source "$here/common.sh"

tests=("$build"/test_*.exe)
[ -e "${tests[0]}" ] || {
  echo "no test programs (test_*.exe) in $build" >&2
  exit 1
}
wine=$(wine_program "${tests[0]}")
cleanup() {
  wine_prefix_remove
  xvfb_stop
}
trap cleanup EXIT
# The C locale: Wine then uses the ANSI code page of an English Windows
# (1252), as the tests expect; C.UTF-8 would give code page 65001.
export LC_ALL=C
wine_prefix_create "$wine"
xvfb_start 1024x768
wineserver -p 600

# The headless platform reads its fonts from one folder: the same families
# the Linux test runs see (DejaVu, the Liberation fonts).
fonts=$build/wine-test-fonts
rm -rf "$fonts"
mkdir -p "$fonts"
ln -s /usr/share/fonts/truetype/dejavu/*.ttf /usr/share/fonts/truetype/liberation/*.ttf "$fonts/"
export QT_QPA_FONTDIR="Z:$fonts" QT_QPA_PLATFORM=offscreen

# One test name per line (Suite.Name, gtest patterns allowed), then the
# reason; '#' starts a comment.
filter=$(sed -e 's/#.*//' "$here/test-exclusions.txt" | awk 'NF {print $1}' | paste -sd ':')
[ -z "$filter" ] || echo "-- excluded under Wine: ${filter//:/ } (see tools/wine/test-exclusions.txt)"

logs=$build/wine-tests
rm -rf "$logs"
mkdir -p "$logs"
run_one() { # program.exe
  local name
  name=$(basename "$1" .exe)
  local started=$SECONDS status=0 again=
  (cd "$build" && timeout -k 10 "$limit" "$wine" "$1" --gtest_color=no \
    ${filter:+--gtest_filter="-$filter"}) >"$logs/$name.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    # Wine now and then fails to start a child process or a window; a
    # program gets one more run, and the log keeps the first one's failure.
    mv "$logs/$name.log" "$logs/$name.first.log"
    again=" on its second run (the first failed: $name.first.log)"
    status=0
    (cd "$build" && timeout -k 10 "$limit" "$wine" "$1" --gtest_color=no \
      ${filter:+--gtest_filter="-$filter"}) >"$logs/$name.log" 2>&1 || status=$?
  fi
  local summary
  summary=$(grep -E '^\[  (PASSED|FAILED) +\] [0-9]+ test' "$logs/$name.log" | tr '\n' ' ' || true)
  if [ "$status" -eq 0 ]; then
    echo "ok     $name ($((SECONDS - started)) s): $summary$again"
  else
    [ "$status" -ne 124 ] && [ "$status" -ne 137 ] || summary="$summary(no end within $limit s)"
    echo "FAILED $name (status $status, $((SECONDS - started)) s): $summary"
    grep -E '^\[  FAILED  \] [A-Za-z]' "$logs/$name.log" | sort -u | sed 's/^/       /' || true
  fi
}
export -f run_one
export wine build limit filter logs
# shellcheck disable=SC2016 # $1 is the inner shell's argument
printf '%s\n' "${tests[@]}" | xargs -P 2 -I{} bash -c 'run_one "$1"' _ {} | tee "$logs/summary.txt"
failed=$(grep -c '^FAILED' "$logs/summary.txt" || true)
echo "-- $(grep -c '^ok' "$logs/summary.txt" || true) test programs passed, $failed failed under Wine"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The checks that keep the sources clean: clang-tidy (.clang-tidy names the
# checks) over the project's own C++ sources, and shellcheck over its shell
# scripts. Fails on any finding.
#
#   bash tools/check.sh [BUILD_DIR]
#
# BUILD_DIR holds the compile database of a build of everything (default:
# build-tests, which tools/test.sh makes); its generated headers must be
# there, so build it first. Runs two files at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-tests}
jobs=${SKARVET_JOBS:-2}

bash tools/install-deps.sh clang-tidy shellcheck

status=0

# --- shell scripts: every tracked *.sh, and the scripts without the suffix --------
mapfile -t scripts < <(git ls-files '*.sh' .ci/run)
echo "shellcheck: ${#scripts[@]} scripts"
shellcheck -x "${scripts[@]}" || status=1

# --- C++: the sources in the compile database that are the project's own ---------
if [ ! -f "$build_dir/compile_commands.json" ]; then
  echo "no compile database in $build_dir: build it first (bash tools/test.sh)" >&2
  exit 1
fi
# The program's sources and the benchmarks. Windows-only sources are not in
# a Linux build's database; the artwork tools are projects of their own. The
# tests are left out: each costs a minute of analysis (GoogleTest and Qt
# Test), and they run under AddressSanitizer and UndefinedBehaviorSanitizer
# in CI, which finds for real what the analyzer would guess at.
mapfile -t sources < <(git ls-files 'app/*.cpp' 'bench/*.cpp' 'controls/*.cpp' 'mainwindow/*.cpp' \
  'netbrowse/*.cpp' 'platform/*.cpp' 'remote/*.cpp' | grep -v '^platform/native/')
echo "clang-tidy: ${#sources[@]} files, $jobs at a time"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! printf '%s\n' "${sources[@]}" |
  xargs -P "$jobs" -n 1 clang-tidy -p "$build_dir" --quiet >"$log" 2>&1; then
  status=1
fi
# clang-tidy prints its count of suppressed warnings on every file; only
# findings matter.
grep -v -e '^[0-9]* warnings\? generated\.$' -e '^Suppressed [0-9]* warnings' \
  -e '^Use -header-filter' -e '^[0-9]* warnings\? treated as errors$' "$log" || true

if [ "$status" -ne 0 ]; then
  echo "checks found problems (above)" >&2
  exit 1
fi
echo "checks: clean"

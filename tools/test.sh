#!/usr/bin/env bash
# Installs what is missing, builds Skarvet with its tests and benchmarks,
# and runs every test (headless).
#   SKARVET_BUILD_DIR  build folder (default: build-tests; tools/run.sh builds the
#                      program alone in build/)
#   SKARVET_SANITIZE   sanitizers to build with: address,undefined or thread
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
# The tests against a real Samba server and real wsdd hosts (tests/peer)
# need root for their network namespaces, and the servers themselves;
# without root they are skipped. wsdd only ever runs inside the tests'
# namespaces (its service is refused like Samba's).
if [ "$(id -u)" -eq 0 ] && [ "$(uname -s)" = Linux ]; then
  started=$SECONDS
  # Installing Samba starts its services on this machine's own network
  # (where an init system runs them); the tests start a private server of
  # their own, so the packages go in with service starts refused.
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ] && ! { dpkg-query -W -f='${Status}' samba 2>/dev/null | grep -q "ok installed" &&
    dpkg-query -W -f='${Status}' wsdd 2>/dev/null | grep -q "ok installed"; }; then
    printf '#!/bin/sh\n# Left by Skarvet'"'"'s tools/test.sh while it installs Samba.\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    trap 'rm -f "$policy"' EXIT
    bash tools/install-deps.sh samba smbclient iproute2 wsdd
    rm -f "$policy"
    trap - EXIT
  else
    bash tools/install-deps.sh samba smbclient iproute2 wsdd
  fi
  echo "Samba and wsdd peers' packages ready ($((SECONDS - started)) s)"
else
  echo "Not root: the tests against the Samba peer (tests/peer) will be skipped."
fi

build_dir=${SKARVET_BUILD_DIR:-build-tests}
sanitize=${SKARVET_SANITIZE:-}
bench=ON
[ -z "$sanitize" ] || bench=OFF

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSKARVET_SANITIZE="$sanitize" -DSKARVET_BUILD_TESTS=ON -DSKARVET_BUILD_BENCH="$bench" >/dev/null
cmake --build "$build_dir"

export QT_QPA_PLATFORM=offscreen
if [ -n "$sanitize" ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # Qt itself is not built with ThreadSanitizer; see the file for why.
  export TSAN_OPTIONS=suppressions=$PWD/tests/tsan.supp:halt_on_error=1
fi
ctest --test-dir "$build_dir" --output-on-failure -j2
# Why the tests against the Samba peer were skipped, if they were.
grep -hE "(samba|wsdd)-peer: SKIPPED" "$build_dir/Testing/Temporary/LastTest.log" 2>/dev/null | sort -u || true

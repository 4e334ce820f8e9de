#!/usr/bin/env bash
# Windows cross builds, the smoke run and the Windows program under Wine.
#
#  1. installs the mingw-w64 cross compilers and Wine when they are missing
#     (this job is the only one that needs them);
#  2. looks for names of the program that the Windows headers define as
#     macros;
#  3. builds skarvet_core with the native seam and the winsmoke console
#     program for x86 (i686) and x64, warnings as errors, runtime linked in;
#  4. compiles the program file's resources with each windres and reads them
#     back;
#  5. runs the x64 winsmoke under wine64 in a fresh prefix. x86 programs
#     cannot run on this kernel, so the i686 build is compiled and linked only;
#  6. builds the x64 skarvet.exe and the test programs with
#     tools/build-windows.sh (Qt, libjpeg-turbo and GoogleTest are built once
#     into the machine's cache, /var/cache/skarvet-windows);
#  7. runs skarvet.exe under wine64 on a private X display and looks at it
#     (tools/wine/check-program.sh): main window, "?" and "..." dialogs, Exit
#     with status 0; then its start-up time; and once more at 144 dpi;
#  8. runs the whole test suite under wine64 (tools/wine/run-tests.sh);
#  9. builds the x86 skarvet.exe when the cache already holds the x86 Qt,
#     and says so when it does not.
#
# Idempotent: reruns reuse the build folders and the cache and build only
# what changed. Fails on the first problem. Prints each step's time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

started=$(date +%s)
step_started=$started
step_name=
step() {
  local now
  now=$(date +%s)
  [ -z "$step_name" ] || echo "   (${step_name}: $((now - step_started)) s)"
  step_name=$*
  step_started=$now
  echo "-- $* (at $((now - started)) s)"
}

# --- 1. packages ---------------------------------------------------------------
step "packages"
bash tools/install-deps.sh g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 \
  xvfb xdotool imagemagick fonts-liberation fonts-wine fonts-dejavu-core

# --- 2. Windows header macros against the program's names ----------------------
step "names of the program that are Windows macros"
python3 tools/winsmoke/macro_clashes.py x86_64-w64-mingw32-g++-posix "$root"

# --- 3. cross builds ---------------------------------------------------------------
build_for() { # triple build-dir
  local triple=$1 dir=$2 arch=${1%%-*}
  step "skarvet_core and winsmoke for $triple in $dir"
  # The core reads XML with expat, cross-built once into the cache.
  local expat
  expat=$(bash tools/build-windows.sh "$([ "$arch" = i686 ] && echo x86 || echo x64)" --expat-only | tail -n 1)
  cmake -S "$root" -B "$root/$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_FIND_ROOT_PATH="$expat" -DCMAKE_PREFIX_PATH="$expat" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DSKARVET_CORE_ONLY=ON -DSKARVET_WINSMOKE=ON >/dev/null
  ninja -C "$root/$dir" -j2 skarvet_core winsmoke
  # Only the system's own DLLs: the C++ runtime and the threads library are
  # linked in.
  local dlls
  dlls=$("$triple-objdump" -p "$root/$dir/tools/winsmoke/winsmoke.exe" | awk '/DLL Name:/ {print $3}')
  echo "   winsmoke.exe imports: $(echo "$dlls" | tr '\n' ' ')"
  if echo "$dlls" | grep -qiE '^lib|mingw'; then
    echo "winsmoke.exe needs a mingw runtime DLL" >&2
    exit 1
  fi
}
build_for i686-w64-mingw32 build-win32
build_for x86_64-w64-mingw32 build-win64

# --- 4. resources of the program file ---------------------------------------------
if [ -f resources/skarvet.rc ]; then
  for pair in i686-w64-mingw32:build-win32 x86_64-w64-mingw32:build-win64; do
    triple=${pair%%:*} dir=${pair#*:}
    step "resources/skarvet.rc with $triple-windres"
    # The version header and the manifest come from the build folder.
    "$triple-windres" -I resources -I "$dir/resources" resources/skarvet.rc -O coff -o "$dir/skarvet-rc.o"
    # Read back: the icon group, the version resource (the project's version
    # as four numbers) and the manifest.
    listing=$("$triple-windres" -i "$dir/skarvet-rc.o" -O rc)
    version=$(cat "$dir/version.txt")
    for expected in 'RT_GROUP_ICON' 'FILEVERSION 2006, 0, 0, 0' 'PRODUCTVERSION 2006, 0, 0, 0' \
      "VALUE \"ProductVersion\", \"$version.0\"" "version=\"\"$version.0\"\"" \
      'RT_MANIFEST' 'requireAdministrator'; do
      if ! grep -qF "$expected" <<<"$listing"; then
        echo "compiled resources lack: $expected" >&2
        exit 1
      fi
    done
    echo "   $(grep -c 'RT_ICON \*/' <<<"$listing") icon images, version and manifest present"
  done
fi

# --- 5. the smoke run under wine64 -------------------------------------------------
wine=$(command -v wine64 || true)
[ -n "$wine" ] || [ ! -x /usr/lib/wine/wine64 ] || wine=/usr/lib/wine/wine64
[ -n "$wine" ] || wine=$(command -v wine)
prefix=$(mktemp -d "${TMPDIR:-/tmp}/skarvet-wine.XXXXXX")
cleanup() {
  WINEPREFIX=$prefix timeout 20 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
# No display, no debug channels, and no offer to install Mono or Gecko.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

step "a fresh Wine prefix"
if ! timeout -k 10 180 "$wine" wineboot -i >"$prefix.boot.log" 2>&1; then
  cat "$prefix.boot.log" >&2
  rm -f "$prefix.boot.log"
  echo "wineboot failed or took longer than 3 minutes" >&2
  exit 1
fi
rm -f "$prefix.boot.log"

step "winsmoke.exe under $(basename "$wine")"
log=build-win64/winsmoke.log
status=0
timeout -k 10 120 "$wine" build-win64/tools/winsmoke/winsmoke.exe >"$log" 2>&1 || status=$?
sed 's/^/   /' "$log"
if [ "$status" -ne 0 ] || [ "$(tail -n 1 "$log" | tr -d '\r')" != "winsmoke: all checks passed" ]; then
  echo "winsmoke failed (exit status $status)" >&2
  exit 1
fi


# --- 6. the x64 program and its tests ------------------------------------------------
step "skarvet.exe and the test programs for x64 (tools/build-windows.sh)"
bash tools/build-windows.sh x64 --tests --build-dir build-windows-x64

# --- 7. the program under wine64 -----------------------------------------------------
step "skarvet.exe under wine64: main window, dialogs, Exit, start-up time"
bash tools/wine/check-program.sh build-windows-x64/skarvet.exe build-windows-x64/wine-main.png 5

step "skarvet.exe under wine64 at 144 dpi (150 %): sizes, pictures, texts, dialogs, Exit"
bash tools/wine/check-program.sh --dpi 144 build-windows-x64/skarvet.exe build-windows-x64/wine-main-144.png

# --- 8. the test suite under wine64 ---------------------------------------------------
step "the test suite under wine64"
bash tools/wine/run-tests.sh build-windows-x64

# --- 9. the x86 program, when the machine has built its Qt once --------------------------
step "skarvet.exe for x86"
status=0
bash tools/build-windows.sh x86 --cached-only --build-dir build-windows-x86 || status=$?
if [ "$status" -eq 75 ]; then
  echo "   skipped: the cache holds no Qt for x86 (bash tools/build-windows.sh x86 builds it once)"
elif [ "$status" -ne 0 ]; then
  exit "$status"
fi

step "Windows cross builds, smoke run, program and tests under Wine passed"

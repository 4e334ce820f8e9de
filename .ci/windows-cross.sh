#!/usr/bin/env bash
# Windows cross builds, and the 32-bit program we ship, its tests and its
# installer under 32-bit Wine.
#
#  1. installs the mingw-w64 cross compilers, 32-bit Wine (the machine
#     learns the i386 architecture for wine32:i386) and wixl when missing
#     (this job is the only one that needs them);
#  2. looks for names of the program that the Windows headers define as
#     macros;
#  3. builds skarvet_core with the native seam and the winsmoke console
#     program for x86 (i686) and x64, warnings as errors, runtime linked in;
#  4. compiles the program file's resources with each windres and reads them
#     back;
#  5. runs the x86 winsmoke under 32-bit Wine in a fresh prefix;
#  6. builds the x86 skarvet.exe, the test programs, the installer and the
#     zip with tools/build-windows.sh (Qt, libjpeg-turbo and GoogleTest are
#     built once into the machine's cache, /var/cache/skarvet-windows);
#  7. runs the shipped (stripped) skarvet.exe under 32-bit Wine on a
#     private X display and looks at it (tools/wine/check-program.sh): main
#     window, "?" and "..." dialogs, Exit with status 0; then its start-up
#     time; and once more at 144 dpi;
#  8. runs the whole test suite under 32-bit Wine (tools/wine/run-tests.sh);
#  9. installs the installer under 32-bit Wine, starts the installed
#     program, upgrades it, uninstalls it and checks what is left
#     (tools/wine/check-msi.sh); checks the zip.
#
# The 64-bit program is not built here (the cache would need a second Qt,
# and both built cold would take the cold CI run to about an hour);
# `tools/build-windows.sh x64` still builds it, and the x64 core build above
# keeps the native code 64-bit clean.
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
# 32-bit Wine is Debian's wine32 of the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "   adding the i386 architecture (for 32-bit Wine)"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  "${sudo_cmd[@]}" apt-get update -qq
fi
bash tools/install-deps.sh g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 \
  wixl msitools xvfb xdotool imagemagick fonts-liberation fonts-wine fonts-dejavu-core

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

# --- 5. the smoke run under 32-bit Wine -------------------------------------------
# shellcheck source=tools/wine/common.sh
source tools/wine/common.sh
smoke=build-win32/tools/winsmoke/winsmoke.exe
wine=$(wine_program "$smoke")
trap wine_prefix_remove EXIT
step "a fresh Wine prefix (32-bit)"
wine_prefix_create "$wine"
unset DISPLAY WAYLAND_DISPLAY

step "winsmoke.exe (x86) under 32-bit Wine"
log=build-win32/winsmoke.log
status=0
timeout -k 10 120 "$wine" "$smoke" >"$log" 2>&1 || status=$?
sed 's/^/   /' "$log"
if [ "$status" -ne 0 ] || [ "$(tail -n 1 "$log" | tr -d '\r')" != "winsmoke: all checks passed" ]; then
  echo "winsmoke failed (exit status $status)" >&2
  exit 1
fi
wine_prefix_remove
trap - EXIT

# --- 6. the x86 program, its tests, the installer and the zip --------------------------
step "skarvet.exe, the test programs, the installer and the zip for x86 (tools/build-windows.sh)"
bash tools/build-windows.sh x86 --tests --build-dir build-windows-x86
version=$(cat build-windows-x86/version.txt)
program=build-windows-x86/dist/skarvet.exe

# --- 7. the program under 32-bit Wine ----------------------------------------------------
step "skarvet.exe (x86, as shipped) under 32-bit Wine: main window, dialogs, Exit, start-up time"
bash tools/wine/check-program.sh "$program" build-windows-x86/wine-main.png 5

step "skarvet.exe (x86) under 32-bit Wine at 144 dpi (150 %): sizes, pictures, texts, dialogs, Exit"
bash tools/wine/check-program.sh --dpi 144 "$program" build-windows-x86/wine-main-144.png

# --- 8. the test suite under 32-bit Wine ---------------------------------------------------
step "the test suite (x86) under 32-bit Wine"
bash tools/wine/run-tests.sh build-windows-x86

# --- 9. the installer and the zip -------------------------------------------------------------
step "dist/skarvet-$version-x86.msi under 32-bit Wine: install, run, upgrade, uninstall"
bash tools/wine/check-msi.sh "dist/skarvet-$version-x86.msi" "$program" "$version" \
  build-windows-x86/wine-installed.png

step "dist/skarvet-$version-x86.zip"
python3 - "dist/skarvet-$version-x86.zip" "skarvet-$version-x86" "$program" LICENSE <<'PYTHON'
import sys, zipfile
archive, folder, program, license_file = sys.argv[1:]
with zipfile.ZipFile(archive) as z:
    expected = {f"{folder}/skarvet.exe": program, f"{folder}/LICENSE.txt": license_file}
    if sorted(z.namelist()) != sorted(expected):
        sys.exit(f"the zip holds {z.namelist()}, expected {list(expected)}")
    if z.testzip() is not None:
        sys.exit(f"the zip is damaged at {z.testzip()}")
    for name, path in expected.items():
        if z.read(name) != open(path, "rb").read():
            sys.exit(f"{name} in the zip is not {path}")
print(f"ok   {archive}: {folder}/skarvet.exe (the program tested above) and LICENSE.txt")
PYTHON

step "Windows cross builds, the x86 program, its tests and its installer under Wine passed"

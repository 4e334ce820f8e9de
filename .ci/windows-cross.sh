#!/usr/bin/env bash
# Windows cross builds and the smoke run under Wine.
#
#  1. installs the mingw-w64 cross compilers and Wine when they are missing
#     (this job is the only one that needs them);
#  2. looks for names of the program that the Windows headers define as
#     macros;
#  3. builds skarvet_core with the native seam and the winsmoke console
#     program for x86 (i686) and x64, warnings as errors, runtime linked in;
#  4. compiles the program file's resources with each windres and reads them
#     back;
#  5. compiles every source of the Qt program for Windows against this
#     machine's Qt headers (syntax and types only: there is no Qt for Windows
#     here to link with);
#  6. runs the x64 winsmoke under wine64 in a fresh prefix. x86 programs
#     cannot run on this kernel, so the i686 build is compiled and linked only.
#
# Idempotent: reruns reuse build-win32 and build-win64 and build only what
# changed. Fails on the first problem.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

started=$(date +%s)
step() { echo "-- $* (at $(($(date +%s) - started)) s)"; }

# --- 1. packages ---------------------------------------------------------------
step "packages"
bash tools/install-deps.sh g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64

# --- 2. Windows header macros against the program's names ----------------------
step "names of the program that are Windows macros"
python3 tools/winsmoke/macro_clashes.py x86_64-w64-mingw32-g++-posix "$root"

# --- 3. cross builds ---------------------------------------------------------------
build_for() { # triple build-dir
  local triple=$1 dir=$2 arch=${1%%-*}
  step "skarvet_core and winsmoke for $triple in $dir"
  cmake -S "$root" -B "$root/$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
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
    "$triple-windres" -I resources resources/skarvet.rc -O coff -o "$dir/skarvet-rc.o"
    # Read back: the icon group, the version resource and the manifest.
    listing=$("$triple-windres" -i "$dir/skarvet-rc.o" -O rc)
    for expected in 'RT_GROUP_ICON' 'FILEVERSION 2006, 0, 0, 0' 'PRODUCTVERSION 2006, 0, 0, 0' \
      'VALUE "ProductVersion", "1.0.0.0"' 'RT_MANIFEST' 'requireAdministrator'; do
      if ! grep -qF "$expected" <<<"$listing"; then
        echo "compiled resources lack: $expected" >&2
        exit 1
      fi
    done
    echo "   $(grep -c 'RT_ICON \*/' <<<"$listing") icon images, version and manifest present"
  done
fi

# --- 5. the Qt program, compiled for Windows against the host's Qt headers --------
qt_include=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null ||
  echo /usr/include/x86_64-linux-gnu/qt6)
uic=$(qmake6 -query QT_HOST_LIBEXECS 2>/dev/null || echo /usr/lib/qt6/libexec)/uic
if [ -d "$qt_include/QtWidgets" ] && [ -x "$uic" ] && [ -f /usr/include/jpeglib.h ]; then
  step "the Qt program's sources compiled for Windows (syntax and types)"
  check_dir=$root/build-win64/qt-syntax
  mkdir -p "$check_dir/forms" "$check_dir/jpeg"
  for form in resources/*.ui; do
    header=$check_dir/forms/ui_$(basename "${form%.ui}").h
    [ "$header" -nt "$form" ] || "$uic" "$form" -o "$header"
  done
  # libjpeg's headers only; the host's other headers stay out of sight.
  for header in /usr/include/jpeglib.h /usr/include/jmorecfg.h /usr/include/jerror.h \
    "$(find /usr/include -name jconfig.h -print -quit)"; do
    ln -sf "$header" "$check_dir/jpeg/"
  done
  # A small ninja file, so that a rerun checks only what changed.
  {
    echo "rule check"
    echo "  command = x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -Wall -Wextra" \
      "-Werror -I$root -I$check_dir/forms -idirafter $check_dir/jpeg" \
      "-DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB -isystem $qt_include" \
      "-isystem $qt_include/QtCore -isystem $qt_include/QtGui -isystem $qt_include/QtWidgets" \
      "-MD -MF \$out.d \$in && touch \$out"
    echo "  depfile = \$out.d"
    echo "  deps = gcc"
    echo "  description = Windows compile check \$in"
    # platform/ is all in skarvet_core, built for real above.
    find app controls mainwindow netbrowse remote -name '*.cpp' | sort |
      while read -r source; do echo "build stamps/$source.ok: check $root/$source"; done
  } >"$check_dir/build.ninja.new"
  cmp -s "$check_dir/build.ninja.new" "$check_dir/build.ninja" ||
    mv "$check_dir/build.ninja.new" "$check_dir/build.ninja"
  rm -f "$check_dir/build.ninja.new"
  ninja -C "$check_dir" -j2
  echo "   $(grep -c '^build ' "$check_dir/build.ninja") files compile for Windows"
else
  step "no Qt 6 development headers here: the Windows compile check of the Qt program is skipped"
fi

# --- 6. the smoke run under wine64 -------------------------------------------------
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

step "Windows cross builds and smoke run passed"

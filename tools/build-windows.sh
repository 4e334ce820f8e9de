#!/usr/bin/env bash
# Builds the Windows program skarvet.exe on Debian 12 with the mingw-w64
# cross compilers: one file, Qt and libjpeg linked in, only the system's own
# DLLs imported. For x86, the program we ship, it also writes the installer
# dist/skarvet-<version>-x86.msi and dist/skarvet-<version>-x86.zip.
#
#   bash tools/build-windows.sh [x86|x64] [options]
#
#   x86            32-bit Windows, the architecture to ship (the default)
#   x64            64-bit Windows (the one wine64 runs)
#   --third-party  build only Qt and libjpeg-turbo into the cache
#   --tests        also build the test programs (GoogleTest and Qt Test)
#   --cached-only  build the program only if the cache holds Qt already;
#                  exits with status 75 otherwise
#   --expat-only   build only expat into the cache and print its folder
#   --build-dir D  the program's build folder (default: build-windows-<arch>)
#
# Qt 6 base and libjpeg-turbo come from Debian's own source packages
# (`apt-get source`) and are built static, once per architecture, into
# $SKARVET_WINDOWS_CACHE (default /var/cache/skarvet-windows). Each install
# folder's name carries the source version, the architecture and a hash of
# the compiler and the build options, so a change of any of them builds anew
# and a rerun with a warm cache takes seconds. Builds go into temporary
# folders that are renamed into place only when they succeeded: an
# interrupted build is never taken for a finished one.
#
# Runs as root (or with sudo for the packages). Prints each step's time.
# The whole script is one block, read before it runs: editing the file
# during a long build cannot change what the running build does.
{
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
root=$PWD

arch=x86
third_party_only=0
expat_only=0
cached_only=0
tests=0
build_dir=
while (($#)); do
  case $1 in
  x86 | x64) arch=$1 ;;
  --third-party) third_party_only=1 ;;
  --tests) tests=1 ;;
  --cached-only) cached_only=1 ;;
  --expat-only) expat_only=1 ;;
  --build-dir)
    build_dir=$2
    shift
    ;;
  *)
    echo "usage: $0 [x86|x64] [--third-party] [--tests] [--cached-only] [--expat-only] [--build-dir DIR]" >&2
    exit 2
    ;;
  esac
  shift
done

case $arch in
x86) triple=i686-w64-mingw32 cpu=i686 compiler_package=g++-mingw-w64-i686 ;;
x64) triple=x86_64-w64-mingw32 cpu=x86_64 compiler_package=g++-mingw-w64-x86-64 ;;
esac
build_dir=${build_dir:-build-windows-$arch}
[[ $build_dir == /* ]] || build_dir=$root/$build_dir
cache=${SKARVET_WINDOWS_CACHE:-/var/cache/skarvet-windows}
jobs=${SKARVET_JOBS:-2}

started=$(date +%s)
step() { echo "-- $* (at $(($(date +%s) - started)) s)"; }
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# --- packages --------------------------------------------------------------------
step "packages for $arch"
# The host's Qt gives the build tools (moc, uic, rcc) of the same version as
# the source package.
bash tools/install-deps.sh "$compiler_package" dpkg-dev patch cmake ninja-build qt6-base-dev xz-utils

cc=$triple-gcc-posix
cxx=$triple-g++-posix
host_qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
compiler_id="$($cxx --version | head -n 1); mingw-w64 $(dpkg-query -W -f='${Version}' mingw-w64-common)"

mkdir -p "$cache/src" "$cache/locks"

# Holds the named lock until the shell exits, so that two builds (CI and a
# developer, or x86 and x64) never build the same thing at once.
lock() {
  local fd
  exec {fd}>"$cache/locks/$1.lock"
  flock "$fd"
}

# --- Debian source packages ----------------------------------------------------------
# A deb-src entry next to the machine's own deb entries, derived from them.
ensure_deb_src() {
  if [ -n "$(apt-cache showsrc qt6-base 2>/dev/null)" ] &&
    [ -n "$(apt-cache showsrc libjpeg-turbo 2>/dev/null)" ]; then
    return
  fi
  step "deb-src entries derived from the machine's package sources"
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    case $file in *-deb-src.sources) continue ;; esac
    if grep -q '^Types:.*\bdeb\b' "$file" && ! grep -q '^Types:.*deb-src' "$file"; then
      sed 's/^Types:.*/Types: deb-src/' "$file" |
        "${sudo_cmd[@]}" tee "${file%.sources}-deb-src.sources" >/dev/null
    fi
  done
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list &&
    [ ! -f /etc/apt/sources.list.d/skarvet-deb-src.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/skarvet-deb-src.list >/dev/null
  fi
  "${sudo_cmd[@]}" apt-get update -qq
}

# The version apt would fetch of a source package (from the .dsc name).
source_version() {
  apt-get source --print-uris -qq "$1" 2>/dev/null |
    sed -n "s/.* $1_\(.*\)\.dsc .*/\1/p" | head -n 1
}

# Unpacks a source package once into $cache/src/<package>_<version>.
source_dir() { # package version
  local package=$1 version=$2 dir=$cache/src/$1_$2
  if [ ! -d "$dir" ]; then
    lock "src-$package"
    if [ ! -d "$dir" ]; then
      step "apt-get source $package ($version)" >&2
      local tmp
      tmp=$(mktemp -d "$cache/src/.tmp-$package.XXXXXX")
      # The version named by the .dsc file carries no epoch: ask for the
      # package, which gives the same version.
      (cd "$tmp" && apt-get source -qq "$package" >/dev/null)
      local unpacked
      unpacked=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
      [ -n "$unpacked" ] || {
        echo "apt-get source $package unpacked nothing" >&2
        exit 1
      }
      mv "$unpacked" "$dir"
      rm -rf "$tmp"
    fi
  fi
  echo "$dir"
}

# The toolchain the third-party libraries are built with: the same compilers
# as the project's toolchain files, written here so that editing those files
# does not throw away a cached Qt.
third_party_toolchain=$cache/toolchain-$triple.cmake
toolchain_text="set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $cpu)
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_RC_COMPILER $triple-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT \"-static -static-libgcc -static-libstdc++\")"
if [ "$(cat "$third_party_toolchain" 2>/dev/null)" != "$toolchain_text" ]; then
  printf '%s\n' "$toolchain_text" >"$third_party_toolchain.tmp.$$"
  mv "$third_party_toolchain.tmp.$$" "$third_party_toolchain"
fi

key_hash() { printf '%s\n' "$@" "$compiler_id" "$toolchain_text" | sha256sum | cut -c1-12; }

# A copy of an unpacked source with the project's patches applied, made once
# into $cache/src/<package>_<version>+<hash of the patches>.
patched_source_dir() { # package version patch...
  local package=$1 version=$2
  shift 2
  local hash dir
  hash=$(cat "$@" | sha256sum | cut -c1-12)
  dir=$cache/src/${package}_$version+$hash
  if [ ! -d "$dir" ]; then
    local pristine
    pristine=$(source_dir "$package" "$version")
    lock "src-$package-$hash"
    if [ ! -d "$dir" ]; then
      step "patch $package ($version): $(printf '%s ' "${@##*/}")" >&2
      local tmp patch
      tmp=$(mktemp -d "$cache/src/.tmp-$package.XXXXXX")
      cp -a "$pristine/." "$tmp/"
      for patch in "$@"; do
        patch -d "$tmp" -p1 --batch --forward --quiet <"$patch" >&2 || {
          echo "$patch does not apply to $package $version" >&2
          exit 1
        }
      done
      mv "$tmp" "$dir"
    fi
  fi
  echo "$dir"
}

# Configures, builds and installs one CMake project into $cache/<name>,
# through a temporary install folder renamed into place at the end.
build_cached() { # name source-dir cmake-options...
  local name=$1 src=$2
  shift 2
  local prefix=$cache/$name
  [ -d "$prefix" ] && return
  lock "$name"
  [ -d "$prefix" ] && return
  local work=$cache/.build-$name stage=$cache/.stage-$name
  rm -rf "$work" "$stage"
  local t0
  t0=$(date +%s)
  step "configure $name"
  nice -n 10 cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$third_party_toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$work.configure.log" 2>&1 ||
    {
      tail -n 40 "$work.configure.log" >&2
      exit 1
    }
  step "build $name (ninja -j$jobs, niced)"
  nice -n 10 ninja -C "$work" -j"$jobs" >"$work.build.log" 2>&1 || {
    tail -n 40 "$work.build.log" >&2
    exit 1
  }
  DESTDIR=$stage nice -n 10 cmake --install "$work" >/dev/null
  mv "$stage$prefix" "$prefix"
  rm -rf "$work" "$stage" "$work.configure.log" "$work.build.log"
  step "$name built in $(($(date +%s) - t0)) s, $(du -sh "$prefix" | cut -f1) installed"
}

ensure_deb_src

# --- expat (the XML of WS-Discovery) -------------------------------------------------------
# Built first and on its own: the Qt-free core needs it too (.ci/windows-cross.sh
# asks for it alone with --expat-only).
# The newest version whose source can be fetched: a mirror may list a
# security update whose files it does not serve (yet).
expat_fetch() {
  local version tmp unpacked
  for version in $(apt-cache showsrc expat | sed -n 's/^Version: //p' | sort -rV | uniq); do
    if [ ! -d "$cache/src/expat_$version" ]; then
      tmp=$(mktemp -d "$cache/src/.tmp-expat.XXXXXX")
      if ! (cd "$tmp" && apt-get source -qq "expat=$version" >/dev/null 2>&1); then
        rm -rf "$tmp"
        continue
      fi
      unpacked=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
      [ -n "$unpacked" ] && [ ! -d "$cache/src/expat_$version" ] && mv "$unpacked" "$cache/src/expat_$version"
      rm -rf "$tmp"
    fi
    echo "$version"
    return 0
  done
  return 1
}
lock src-expat
expat_version=$(expat_fetch) || {
  echo "apt cannot fetch the source package expat" >&2
  exit 1
}
expat_options=(-DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF
  -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF
  # No document types: the program refuses them anyway, and Debian's patches
  # test XML_DTD as a number, which CMake's configuration leaves empty.
  -DEXPAT_DTD=OFF)
expat_name=expat-$expat_version-$arch-$(key_hash "${expat_options[@]}")
expat_prefix=$cache/$expat_name
if [ -d "$expat_prefix" ]; then
  step "expat $expat_version for $arch: cached in $expat_prefix" >&2
else
  # Debian's source holds the library in its expat/ folder.
  build_cached "$expat_name" "$cache/src/expat_$expat_version/expat" "${expat_options[@]}" >&2
fi
if ((expat_only)); then
  echo "$expat_prefix"
  exit 0
fi

# --- Qt 6 base ---------------------------------------------------------------------------
qt_version=$(source_version qt6-base)
jpeg_version=$(source_version libjpeg-turbo)
if [ -z "$qt_version" ] || [ -z "$jpeg_version" ]; then
  echo "apt cannot find the source packages qt6-base and libjpeg-turbo" >&2
  exit 1
fi

qt_options=(
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_pkg_config=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=ON
  -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF
  -DFEATURE_fontconfig=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
  -DFEATURE_zstd=OFF -DFEATURE_icu=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_png=OFF -DFEATURE_system_doubleconversion=OFF
  # FreeType (bundled) brings the offscreen platform plugin the test
  # programs run on; the program itself keeps the Windows font engine.
  -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF
  -DFEATURE_androiddeployqt=OFF
  # Debian's source drops the wintab headers the Windows plugin includes.
  -DFEATURE_tabletevent=OFF
  # Without Direct2D, Qt 6.4 still refers to the DirectWrite font database
  # and the program fails to link; the GDI font engine is used instead.
  -DFEATURE_directwrite3=OFF
)
# Fixes to Qt the program needs, each explained at its head.
qt_patches=("$root/tools/qt-patches/windows-raster-font-sizes.patch")
qt_name=qt6-base-$qt_version-$arch-$(key_hash "$host_qt_version" "${qt_options[@]}" \
  "$(cat "${qt_patches[@]}")")
qt_prefix=$cache/$qt_name
if [ -d "$qt_prefix" ]; then
  step "Qt $qt_version for $arch: cached in $qt_prefix"
elif ((cached_only)); then
  step "no Qt $qt_version for $arch in the cache ($qt_prefix)"
  exit 75
else
  qt_source=$(patched_source_dir qt6-base "$qt_version" "${qt_patches[@]}")
  build_cached "$qt_name" "$qt_source" "${qt_options[@]}"
fi

# --- libjpeg-turbo --------------------------------------------------------------------
jpeg_options=(-DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF)
jpeg_name=libjpeg-turbo-$jpeg_version-$arch-$(key_hash "${jpeg_options[@]}")
jpeg_prefix=$cache/$jpeg_name
if [ -d "$jpeg_prefix" ]; then
  step "libjpeg-turbo $jpeg_version for $arch: cached in $jpeg_prefix"
else
  jpeg_source=$(source_dir libjpeg-turbo "$jpeg_version")
  build_cached "$jpeg_name" "$jpeg_source" "${jpeg_options[@]}"
fi

if ((third_party_only)); then
  step "third-party libraries for $arch ready"
  exit 0
fi

# --- GoogleTest, for the test programs ---------------------------------------------------
gtest_prefix=
if ((tests)); then
  # Debian's googletest package carries the sources (in /usr/src/googletest).
  bash tools/install-deps.sh googletest
  gtest_version=$(dpkg-query -W -f='${Version}' googletest)
  gtest_options=(-DBUILD_GMOCK=ON -DINSTALL_GTEST=ON)
  gtest_name=googletest-$gtest_version-$arch-$(key_hash "${gtest_options[@]}")
  gtest_prefix=$cache/$gtest_name
  if [ -d "$gtest_prefix" ]; then
    step "GoogleTest $gtest_version for $arch: cached in $gtest_prefix"
  else
    build_cached "$gtest_name" /usr/src/googletest "${gtest_options[@]}"
  fi
fi

# --- the program -----------------------------------------------------------------------
# Qt's toolchain file finds the cross-built Qt and chain-loads the project's
# own toolchain file (the compilers); the host's Qt gives moc, uic and rcc.
step "configure the program for $arch in $build_dir"
# GCC 12 warns wrongly about overlapping copies in std::string's
# operator+ at -O2 (GCC bug 105651); the warning is off so that real
# warnings still stop the build.
cxx_flags=-Wno-restrict
tests_flag=OFF
emulator=()
if ((tests)); then
  tests_flag=ON
  # ctest runs the test programs (and lists their tests) through Wine:
  # 32-bit Wine (wine32:i386) for x86, wine64 for x64.
  if [ "$arch" = x64 ] && wine=$(command -v wine64 || ls /usr/lib/wine/wine64 2>/dev/null); then
    emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR="$wine")
  elif [ "$arch" = x86 ] && [ -e /usr/lib/wine/wine ] && wine=$(command -v wine); then
    emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR="$wine")
  fi
fi
# A build folder configured against other libraries of the cache (an older
# Qt, say) keeps their package folders in its CMake cache and would mix the
# two: such a folder is configured afresh.
if [ -f "$build_dir/CMakeCache.txt" ] &&
  grep -o "$cache/[^/;:\"]*" "$build_dir/CMakeCache.txt" | sort -u |
  grep -qvxF -e "$qt_prefix" -e "$jpeg_prefix" -e "$expat_prefix" -e "${gtest_prefix:-$qt_prefix}"; then
  step "$build_dir was configured against other libraries: configuring afresh"
  rm -rf "$build_dir/CMakeCache.txt" "$build_dir/CMakeFiles"
fi
cmake -S "$root" -B "$build_dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$qt_prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$cpu.cmake" \
  -DQT_ADDITIONAL_PACKAGES_PREFIX_PATH="$jpeg_prefix;$expat_prefix${gtest_prefix:+;$gtest_prefix}" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DCMAKE_CXX_FLAGS="$cxx_flags" \
  -DSKARVET_BUILD_TESTS=$tests_flag -DSKARVET_BUILD_BENCH=OFF "${emulator[@]}" \
  >"$build_dir.configure.log" 2>&1 || {
  cat "$build_dir.configure.log" >&2
  exit 1
}
rm -f "$build_dir.configure.log"

t0=$(date +%s)
targets=(skarvet)
((tests)) && targets=(all)
step "build ${targets[*]} (ninja -j$jobs)"
ninja -C "$build_dir" -j"$jobs" "${targets[@]}"
step "built in $(($(date +%s) - t0)) s"

# One file to ship: stripped, nothing beside it but the system's own DLLs.
exe=$build_dir/skarvet.exe
mkdir -p "$build_dir/dist"
"$triple-strip" -o "$build_dir/dist/skarvet.exe" "$exe"
dlls=$("$triple-objdump" -p "$exe" | awk '/DLL Name:/ {print $3}' | sort -u)
echo "   skarvet.exe imports: $(echo "$dlls" | tr '\n' ' ')"
if echo "$dlls" | grep -qiE '^(lib|qt|mingw)'; then
  echo "skarvet.exe needs a DLL that Windows does not have" >&2
  exit 1
fi
if ! "$triple-objdump" -h "$exe" | grep -q '\.rsrc'; then
  echo "skarvet.exe has no resources (icon, manifest, version)" >&2
  exit 1
fi
step "$build_dir/dist/skarvet.exe for $arch: $(stat -c %s "$build_dir/dist/skarvet.exe") bytes"

# --- the installer and the zip (x86, the program we ship) ----------------------------------
# dist/skarvet-<version>-x86.msi (tools/make-msi.sh, resources/skarvet.wxs)
# and dist/skarvet-<version>-x86.zip for those who want no installer: the
# stripped program and its license. The version is the project's.
if [ "$arch" = x86 ]; then
  bash tools/install-deps.sh wixl msitools
  version=$(cat "$build_dir/version.txt")
  package=$root/dist/skarvet-$version-x86
  step "$package.msi and .zip"
  bash tools/make-msi.sh "$build_dir/dist/skarvet.exe" "$version" "$package.msi"
  python3 - "$package.zip" "skarvet-$version-x86" "$build_dir/dist/skarvet.exe" LICENSE <<'PYTHON'
import os, sys, zipfile
output, folder, program, license_file = sys.argv[1:]
with zipfile.ZipFile(output + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    archive.write(program, f"{folder}/skarvet.exe")
    archive.write(license_file, f"{folder}/LICENSE.txt")
os.replace(output + ".tmp", output)
PYTHON
  step "$(basename "$package").msi: $(stat -c %s "$package.msi") bytes, .zip: $(stat -c %s "$package.zip") bytes"
fi
exit
}

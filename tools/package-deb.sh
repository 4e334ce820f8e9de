#!/usr/bin/env bash
# Builds the Debian package of Skarvet for this machine's architecture:
#
#   bash tools/package-deb.sh          # dist/skarvet_<version>_<arch>.deb
#
# The program is built in build-deb/ (Release, with Debian's hardening
# flags from dpkg-buildflags), installed with `cmake --install` into a
# staging folder under /usr (program, desktop entry, icons, manual page) and
# stripped as Debian strips. The package's dependencies are computed from
# its programs and libraries by dpkg-shlibdeps, not listed by hand; the
# license is /usr/share/doc/skarvet/copyright in Debian's machine-readable
# format. The version is the project's (the build folder's version.txt).
#   SKARVET_DEB_BUILD_DIR  the build folder (default: build-deb)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${SKARVET_DEB_BUILD_DIR:-build-deb}

bash tools/install-deps.sh
bash tools/install-deps.sh dpkg-dev binutils

# --- the program -----------------------------------------------------------------------
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
  -DSKARVET_BUILD_TESTS=OFF -DSKARVET_BUILD_BENCH=OFF >/dev/null
nice cmake --build "$build" -j "${SKARVET_JOBS:-2}"

version=$(cat "$build/version.txt")
arch=$(dpkg --print-architecture)
package=skarvet_${version}_$arch
# The date of the commit built (or now, outside a git checkout), so that the
# same commit gives the same package.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH=$epoch

stage=$(mktemp -d "${TMPDIR:-/tmp}/skarvet-deb.XXXXXX")
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null

# The license goes into copyright (below), not next to it.
rm -rf "$stage/usr/share/doc"
doc=$stage/usr/share/doc/skarvet
mkdir -p "$doc"

# Programs and libraries (a module the program loads included): stripped as
# Debian strips them, and the list dpkg-shlibdeps reads.
elf_files=()
while IFS= read -r -d '' file; do
  if [ "$(head -c 4 "$file" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
    strip --remove-section=.comment --remove-section=.note --strip-unneeded "$file"
    elf_files+=("$file")
  fi
done < <(find "$stage/usr" -type f -print0)

gzip -9n "$stage/usr/share/man/man1/skarvet.1"

# --- documentation -----------------------------------------------------------------------
year=$(date -u -d "@$epoch" +%Y)
cat >"$doc/copyright" <<EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Skarvet

Files: *
Copyright: $year The Skarvet developers
License: GPL-3+

License: GPL-3+
 This program is free software: you can redistribute it and/or modify it
 under the terms of the GNU General Public License as published by the Free
 Software Foundation, either version 3 of the License, or (at your option)
 any later version.
 .
 This program is distributed in the hope that it will be useful, but WITHOUT
 ANY WARRANTY; without even the implied warranty of MERCHANTABILITY or
 FITNESS FOR A PARTICULAR PURPOSE. See the GNU General Public License for
 more details.
 .
 On Debian systems, the complete text of the GNU General Public License
 version 3 can be found in "/usr/share/common-licenses/GPL-3".
EOF
maintainer="Skarvet developers <dev@skarvet.invalid>"
{
  echo "skarvet ($version) unstable; urgency=medium"
  echo
  echo "  * Skarvet $version."
  echo
  echo " -- $maintainer  $(LC_ALL=C date -u -R -d "@$epoch")"
} | gzip -9n >"$doc/changelog.gz"

# env(1) starts the program with the network chosen (SKARVET_NETWORK=...);
# it is in coreutils, which every Debian system has.
mkdir -p "$stage/usr/share/lintian/overrides"
echo "skarvet: desktop-command-not-in-package env [usr/share/applications/skarvet.desktop]" \
  >"$stage/usr/share/lintian/overrides/skarvet"

# --- control ----------------------------------------------------------------------------
# dpkg-shlibdeps reads the package names from a debian/control, which a
# temporary folder provides.
shlibs=$(mktemp -d "${TMPDIR:-/tmp}/skarvet-shlibs.XXXXXX")
mkdir "$shlibs/debian"
printf 'Source: skarvet\n\nPackage: skarvet\nArchitecture: any\n' >"$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "${elf_files[@]}" 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
rm -rf "$shlibs"
[ -n "$depends" ] || {
  echo "dpkg-shlibdeps found no dependencies of ${elf_files[*]}" >&2
  exit 1
}

find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
# The programs: the one on PATH and the real network's call helper, which
# the module starts.
for file in "${elf_files[@]}"; do
  case $file in "$stage/usr/bin/"* | */skarvet/skarvet-smb-call) chmod 0755 "$file" ;; esac
done

mkdir "$stage/DEBIAN"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
cat >"$stage/DEBIAN/control" <<EOF
Package: skarvet
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Recommends: fonts-liberation, fonts-wine
Section: admin
Priority: optional
Description: restart, shut down or log off Windows computers on the network
 Skarvet is a small desktop tool for Windows administrators. Name a
 computer on the network (type it, or pick it in the network browser), then
 restart it, shut it down or log its user off, with your own account or
 with another one, with a shutdown reason and an optional force flag.
 .
 From Linux it reaches Windows and Samba hosts through Samba's client
 library; a simulated Windows network, compiled in, lets you try it
 without touching a real computer.
EOF
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

mkdir -p dist
dpkg-deb --root-owner-group -Zxz --build "$stage" "dist/$package.deb" >/dev/null
echo "dist/$package.deb: $(stat -c %s "dist/$package.deb") bytes," \
  "installed size $(sed -n 's/^Installed-Size: //p' "$stage/DEBIAN/control") KiB"
echo "   Depends: $depends"

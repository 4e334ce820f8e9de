#!/usr/bin/env bash
# Builds the Windows Installer package of a 32-bit skarvet.exe with wixl
# (resources/skarvet.wxs says what it installs).
#
#   tools/make-msi.sh SKARVET_EXE VERSION OUTPUT_MSI
#
# VERSION is the project's (the build folder's version.txt):
# tools/build-windows.sh passes it; the installer checks pass higher ones to
# try upgrades.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "$1")
version=$2
output=$(realpath -m "$3")

# Windows Installer versions are major.minor.build, at most 255.255.65535.
if ! [[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] ||
  ((BASH_REMATCH[1] > 255 || BASH_REMATCH[2] > 255 || BASH_REMATCH[3] > 65535)); then
  echo "make-msi.sh: $version is not a version Windows Installer takes (at most 255.255.65535)" >&2
  exit 2
fi
command -v wixl >/dev/null || {
  echo "make-msi.sh: wixl is missing (Debian package wixl)" >&2
  exit 1
}

# wixl finds the files by names relative to the folder it runs in.
stage=$(mktemp -d "${TMPDIR:-/tmp}/skarvet-msi.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/skarvet.exe"
cp "$root/resources/skarvet.ico" "$root/resources/skarvet.wxs" "$stage/"
cp "$root/LICENSE" "$stage/LICENSE.txt"
mkdir -p "$(dirname "$output")"
(cd "$stage" && wixl --arch x86 --define Version="$version" --output package.msi skarvet.wxs)
mv "$stage/package.msi" "$output"

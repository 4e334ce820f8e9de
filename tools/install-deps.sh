#!/usr/bin/env bash
# Installs what building, running and testing Skarvet needs on Debian 12,
# or the Debian packages named as arguments. Runs as root (or through
# sudo); does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libjpeg62-turbo-dev libxcb1-dev libsmbclient-dev libexpat1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-wine fonts-liberation
  xvfb dbus at-spi2-core python3-pyatspi
  desktop-file-utils
)
(($#)) && packages=("$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  # Through env, so that sudo passes the setting on.
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

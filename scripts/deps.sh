#!/usr/bin/env bash
# Installs, with apt-get, whatever Tagloom needs to build, test and run that is not there yet.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libxlsxwriter-dev libtag1-dev zlib1g-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  libuchardet-dev libsqlite3-dev libxxhash-dev liblz4-dev
  chromium
  python3 python3-mutagen lame mpg123 ffmpeg unzip xdg-utils dpkg-dev file
  fonts-dejavu-core
  xvfb libx11-dev libxfixes-dev libxtst-dev
  dbus-daemon
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

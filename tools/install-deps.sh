#!/usr/bin/env bash
# Installs everything the workbench needs to build, run and test, from
# Debian 12 packages. Safe to run again.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5opengl5-dev libqt5charts5-dev
  libopenscenegraph-dev openscenegraph
  qt5-image-formats-plugins
  libgl1-mesa-dri libglx-mesa0 libgl-dev
  libbenchmark-dev
  libopencv-dev colmap libproj-dev proj-data
  xvfb xauth x11-utils socat libimage-exiftool-perl gdal-bin libxml2-utils imagemagick
  openbox
  libgdal-dev
  libceres-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

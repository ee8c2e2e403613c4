#!/usr/bin/env bash
# Installs every Debian package that building, running and testing tessel
# needs. Does nothing (and needs no root) when all of them are already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libgl-dev libglx-dev libgl1-mesa-dri libglu1-mesa-dev libx11-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libgtest-dev
  xvfb xauth xdotool xclip x11-utils imagemagick
  libpng-dev libjpeg-dev libgif-dev zlib1g-dev libegl-dev libegl-mesa0
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libmeshoptimizer-dev libembree-dev libpugixml-dev
  desktop-file-utils libxml2-utils shared-mime-info
  time locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

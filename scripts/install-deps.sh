#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need. Idempotent:
# when every package is present it does nothing.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  # window program and preview
  qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # engine libraries (headers; the shared objects come as their dependencies)
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libopencore-amrnb-dev
  # tests
  libgtest-dev libgmock-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

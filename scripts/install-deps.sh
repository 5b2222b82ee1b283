#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need. Idempotent:
# when every package is present it does nothing.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config clang clang-format
  # window program and preview
  qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins qt6-svg-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # engine libraries (headers; the shared objects come as their dependencies)
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libopencore-amrnb-dev
  # tests
  libgtest-dev libgmock-dev desktop-file-utils parallel
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=0

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ "$updated" = 0 ]; then
    $sudo apt-get update -qq
    updated=1
  fi
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

install_missing "${packages[@]}"
# The sanitizer and fuzzer runtime of the clang that is installed, whichever version it is.
clang_major=$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n1)
install_missing "libclang-rt-${clang_major}-dev"

#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a desktop would: the programs,
# the help where the window looks for it, a desktop entry that validates, the icon in every
# size of the theme; then starts both installed programs.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
home=$(mktemp -d)
trap 'rm -rf "$prefix" "$home"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/corvina bin/corvina-convert share/corvina/help/index.html \
         share/applications/corvina.desktop share/icons/hicolor/scalable/apps/corvina.svg; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/corvina.png"
  [ -s "$png" ] || fail "no ${size}x${size} icon"
  # The PNG header's width and height: two big-endian 32-bit numbers at byte 16.
  read -r -a b < <(od -An -tu1 -j16 -N8 "$png")
  width=$(( (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3] ))
  height=$(( (b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7] ))
  [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "${size}x${size} icon is ${width}x${height}"
done
desktop-file-validate "$prefix/share/applications/corvina.desktop" || fail "desktop entry"
grep -qx 'Exec=corvina' "$prefix/share/applications/corvina.desktop" || fail "Exec line"
grep -q 'iPod Touch (\*.mp4)' "$prefix/share/corvina/help/index.html" || fail "help table"

"$prefix/bin/corvina-convert" --version | grep -q '^libavcodec ' || fail "corvina-convert --version"
# The window program starts from its prefix and keeps running until it is ended.
status=0
HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen \
  timeout 4 "$prefix/bin/corvina" >/dev/null 2>&1 || status=$?
[ "$status" = 124 ] || fail "corvina ended with status $status before it was stopped"
echo "installed into a temporary prefix: programs, help, desktop entry and icons as expected"

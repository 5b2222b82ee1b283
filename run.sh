#!/usr/bin/env bash
# Installs what the project needs, builds it and converts a generated QuickTime clip with the
# headless front end. ./run.sh --gui opens the window program instead.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

if [ "${1:-}" = "--gui" ]; then
  if [ -x build/bin/corvina ]; then
    exec build/bin/corvina
  fi
  echo "The window program is not built yet." >&2
  exit 1
fi

sample_dir=build/sample
out_dir=build/sample-output
mkdir -p "$out_dir"
build/bin/corvina-make-fixtures "$sample_dir" >/dev/null
sample="$sample_dir/h264_aac_640x480_25.mov"

build/bin/corvina-convert --version
echo
echo "Converting $sample with the first catalogue entry and with MP4:"
build/bin/corvina-convert --overwrite -o "$out_dir" "$sample"
build/bin/corvina-convert --overwrite -f "MP4 - MPEG4 Video (*.mp4)" -o "$out_dir" "$sample"
echo
echo "The outputs are in $(cd "$out_dir" && pwd):"
ls -l "$out_dir"

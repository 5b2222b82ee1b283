#!/usr/bin/env bash
# Installs what the project needs, builds it and shows the headless front end at work.
# ./run.sh --gui opens the window program instead.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

if [ "${1:-}" = "--gui" ]; then
  if [ -x build/bin/corvina ]; then
    exec build/bin/corvina
  fi
  echo "The window program is not built yet; showing the headless front end instead." >&2
fi

build/bin/corvina-convert --version

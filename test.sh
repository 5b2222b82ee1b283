#!/usr/bin/env bash
# Installs what the project needs, builds into build/ and runs every test; then the same
# suite under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/).
# CORVINA_SANITIZERS=0 skips the sanitizer pass for a quick local run.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

cmake --preset default
cmake --build --preset default
ctest --preset default

if [ "${CORVINA_SANITIZERS:-1}" != 0 ]; then
  cmake --preset asan
  cmake --build --preset asan
  ctest --preset asan
fi

#!/usr/bin/env bash
# Installs what the project needs, checks the code's layout, builds into build/ with
# warnings as errors and runs every test; then the same suite under AddressSanitizer +
# UndefinedBehaviorSanitizer (build-asan/), and the tests labelled "threads" (the
# component's workers and the workflow that hands their events over) under
# ThreadSanitizer (build-tsan/).
# CORVINA_SANITIZERS=0 skips both sanitizer passes for a quick local run.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
./scripts/check-format.sh

cmake --preset default -DCORVINA_WERROR=ON
cmake --build --preset default
ctest --preset default

if [ "${CORVINA_SANITIZERS:-1}" != 0 ]; then
  cmake --preset asan -DCORVINA_WERROR=ON
  cmake --build --preset asan
  ctest --preset asan

  cmake --preset tsan -DCORVINA_WERROR=ON
  cmake --build --preset tsan --target corvina_engine_tests corvina_hosting_tests \
    corvina_app_tests corvina-make-fixtures corvina-sample-hook
  ctest --preset tsan -L threads
fi

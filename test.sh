#!/usr/bin/env bash
# Installs what the project needs, builds into build/ and runs every test; then the same
# suite under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/), and the threaded
# component and workflow tests under ThreadSanitizer (build-tsan/).
# CORVINA_SANITIZERS=0 skips both sanitizer passes for a quick local run.
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

  # The component's threads, events, stop/pause and log routing under ThreadSanitizer, and
  # the workflow that hands the workers' events to its main thread (batches, faults, stops).
  cmake --preset tsan
  cmake --build --preset tsan --target corvina_hosting_tests corvina_app_tests \
    corvina-make-fixtures corvina-sample-hook
  ctest --preset tsan -R '^(make_fixtures|EngineRun|EngineStress|TaskBuild|LogRouting|TranscodeEngine|BackgroundThread|Workflow|BatchFault|Catalogue/StopAnywhere)'
fi

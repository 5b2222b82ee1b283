#!/usr/bin/env bash
# Builds and runs the benchmarks on a generated 20 s 720p clip; prints one table each.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target corvina-make-fixtures corvina-bench-remux >/dev/null
dir=build/bench-media
build/bin/corvina-make-fixtures "$dir" --bench >/dev/null
build/bin/corvina-bench-remux "$dir/bench_720p_20s.mov" "${1:-5}"

#!/usr/bin/env bash
# Builds the libFuzzer targets with the fuzz preset (clang, ASan+UBSan) into build-fuzz/,
# makes the seed corpora, and runs each target for SECONDS (default 60), one after another.
# Crash, leak, timeout and out-of-memory inputs land in build-fuzz/fuzz-artifacts/; the
# script then exits 1. Per target it prints one line: executions, exec/s, coverage, features.
# Usage: tests/fuzz/run.sh [SECONDS] [TARGET...]   (targets: option_text open_input convert)
# CORVINA_FUZZ_SEED fixes libFuzzer's seed (CI uses 1; unset: a new one per run).
# CORVINA_FUZZ_TIMEOUT: seconds one input may take before it counts as a hang (default 10).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(option_text open_input convert)

cd "$root"
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz -j2 --target corvina-make-fixtures corvina-fuzz-seeds \
  "${targets[@]/#/corvina-fuzz-}"
build="$root/build-fuzz"
"$here/make-corpus.sh" "$build"

# Longest input per target: option texts are short; media inputs are kept small so a run
# explores many of them (the seeds are at most a few KB beyond the prefixes).
declare -A max_len=([option_text]=4096 [open_input]=65536 [convert]=32768)
declare -A extra=([option_text]="-dict=$here/option_text.dict")

artifacts="$build/fuzz-artifacts"
logs="$build/fuzz-logs"
mkdir -p "$artifacts" "$logs"
failed=0
passed=0
for t in "${targets[@]}"; do
  scratch="$(mktemp -d)" # working and temp folder: option texts may name files
  log="$logs/$t.log"
  set +e
  (cd "$scratch" && TMPDIR="$scratch" ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}" \
    "$build/bin/corvina-fuzz-$t" ${extra[$t]:-} -max_len="${max_len[$t]}" \
    -rss_limit_mb=2048 -timeout="${CORVINA_FUZZ_TIMEOUT:-10}" -max_total_time="$seconds" -print_final_stats=1 \
    -seed="${CORVINA_FUZZ_SEED:-0}" \
    -artifact_prefix="$artifacts/$t-" "$here/corpus-$t" > "$log" 2>&1)
  rc=$?
  set -e
  rm -rf "$scratch"
  execs=$(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  rate=$(grep -o 'average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(echo "$last" | grep -o 'cov: [0-9]*' || true)
  ft=$(echo "$last" | grep -o 'ft: [0-9]*' || true)
  corp=$(echo "$last" | grep -o 'corp: [0-9/a-zA-Z]*' || true)
  if [ "$rc" -eq 0 ]; then
    status=ok
    passed=$((passed + 1))
  else
    status="FAILED (exit $rc, see $log)"
    failed=$((failed + 1))
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 5 || true
  fi
  echo "fuzz $t: ${seconds}s, $execs executions, $rate exec/s, $cov, $ft, $corp: $status"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

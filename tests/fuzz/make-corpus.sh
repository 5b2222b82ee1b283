#!/usr/bin/env bash
# Makes the seed corpora tests/fuzz/corpus-<target>/ from the generated fixtures (nothing
# of them is committed): small conversions in every container the targets name, prefixes of
# the bigger fixtures, and texts of the kinds that point elsewhere. The option-text corpus
# starts from the committed seeds-option_text/. Existing corpus files are kept, so what a
# run found is the next run's start.
# Usage: tests/fuzz/make-corpus.sh [BUILD_DIR]   (default build-fuzz, built by run.sh)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build-fuzz}"

fixtures="$build/fixtures"
if [ ! -s "$fixtures/h264_aac_mono_176x144_15.mov" ]; then
  "$build/bin/corvina-make-fixtures" "$fixtures" > "$build/make-fixtures.log" 2>&1
fi

seeds="$(mktemp -d)"
trap 'rm -rf "$seeds"' EXIT
"$build/bin/corvina-fuzz-seeds" "$fixtures" "$seeds" > "$build/fuzz-seeds.log" 2>&1 ||
  { cat "$build/fuzz-seeds.log" >&2; exit 1; }
for target in open_input convert; do
  mkdir -p "$here/corpus-$target"
  cp -n "$seeds/$target"/* "$here/corpus-$target/"
done
mkdir -p "$here/corpus-option_text"
cp -n "$here/seeds-option_text"/* "$here/corpus-option_text/"
tail -n 1 "$build/fuzz-seeds.log"

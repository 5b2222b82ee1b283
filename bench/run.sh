#!/usr/bin/env bash
# Builds and runs the benchmarks on a generated 20 s 720p clip; prints one table each.
#   bench/run.sh            every catalogue entry, the --jobs 1/2 batch, one transcode through
#                           the component alone, the window's and the preview's
#                           responsiveness, the remux table
#   bench/run.sh quick      four entries (3GP, MP4, AAC, PS3) and a short batch: about a minute
#   bench/run.sh 0,8,20     the entries at these indexes (corvina-convert --list-formats)
# Each measurement keeps the best of CORVINA_BENCH_REPEAT runs (2; quick: 1), since other
# work on the cores slows single runs down. CORVINA_BUILD_DIR picks another build folder
# of the default preset (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CORVINA_BUILD_DIR:-build}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j2 --target corvina-make-fixtures corvina-convert corvina-bench-remux \
  corvina-bench-catalogue corvina-bench-window corvina-bench-preview >/dev/null
dir=$build/bench-media
"$build/bin/corvina-make-fixtures" "$dir" --bench >/dev/null
clip=$dir/bench_720p_20s.mov

mode=${1:-all}
repeat=${CORVINA_BENCH_REPEAT:-2}
remux_repeats=3
args=()
case "$mode" in
  all) ;;
  quick)
    args=(--entries 0,8,17,39 --jobs-clip "$dir/h264_aac_640x480_25.mov")
    repeat=${CORVINA_BENCH_REPEAT:-1}
    remux_repeats=1
    ;;
  *[!0-9,]* | "")
    echo "usage: bench/run.sh [quick | I,J,...]" >&2
    exit 2
    ;;
  *) args=(--entries "$mode" --no-jobs) ;;
esac

start=$SECONDS
status=0
echo "== Catalogue entries"
"$build/bin/corvina-bench-catalogue" "$clip" --repeat "$repeat" "${args[@]}" || status=$?
echo
# The engine's own transcode path, no catalogue: 720p H.264/AAC to MPEG-4 Part 2 at
# 1200 kbit/s 25 fps with AAC 128 kbit/s 44100 Hz stereo.
echo "== Transcode: mpeg4 1200k 25 fps + aac 128k 44100 Hz stereo"
"$build/bin/corvina-bench-catalogue" "$clip" --repeat "$repeat" --no-jobs --raw mp4 \
  $'vcodec=mpeg4\nb=1200000\nr=25\nacodec=aac\nab=128000\nar=44100\nac=2' || status=$?
echo
# The window's GUI thread: a 10 ms timer's lateness while the clip converts and while 500
# files are added, and those 500 rows against the probe alone (on X when there is one).
echo "== Window responsiveness"
window_bench=("$build/bin/corvina-bench-window" "$clip" "$dir/h264_aac_640x480_25.mov")
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1280x900x24" env QT_QPA_PLATFORM=xcb "${window_bench[@]}" || status=$?
else
  QT_QPA_PLATFORM=offscreen "${window_bench[@]}" || status=$?
fi
echo
# The preview: Play to the first picture of a 1080p clip, and the GUI thread's worst stall
# around play, pause, seek, stop and switching files.
echo "== Preview responsiveness"
preview_bench=("$build/bin/corvina-bench-preview" "$dir/bench_1080p_10s.mov"
  "$dir/h264_aac_640x480_25.mov")
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1280x900x24" env QT_QPA_PLATFORM=xcb "${preview_bench[@]}" \
    2>/dev/null || status=$?
else
  QT_QPA_PLATFORM=offscreen "${preview_bench[@]}" 2>/dev/null || status=$?
fi
echo
echo "== Stream copy"
"$build/bin/corvina-bench-remux" "$clip" "$remux_repeats" || status=$?
echo
echo "bench/run.sh $mode took $((SECONDS - start)) s (after the build)"
exit "$status"

#!/usr/bin/env bash
# The engine against the distribution's ffmpeg command-line tool on the same jobs. For each
# entry, the job corvina-convert builds (--print-job) becomes the engine's option text, run
# with `corvina-convert --raw` (the engine alone, without the batch's sequencing timer), and
# the tool's arguments with the same codecs, size, rate, bit rates and audio layout. In one
# run, taking turns:
#   all cores  the engine with its default threads  vs  the tool with its automatic threads
#   one thread the engine with --threads 1          vs  the tool with -threads 1
# Prints wall seconds (best of CORVINA_BENCH_REPEAT, default 4, engine and tool in turns), two
# ratios engine/tool, and peak memory (max RSS) of each. `ratio` is the median over the turns of
# each turn's ratio: the engine's and the tool's run of one turn follow each other, so a slow
# spell of the machine that spans a turn cancels out. `best` divides the two best times.
#   bench/versus_tool.sh [ENTRIES] [CLIP...]
# ENTRIES is a comma list of indexes (corvina-convert --list-formats); default: AVI, FLV, MP4,
# MPEG-2, WMV, MP3, iPhone, PS3, Xbox360 WMV. CLIPs default to the generated 1080p and
# 2160p clips. The tool must be installed (apt-get install ffmpeg).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CORVINA_BUILD_DIR:-build}
repeat=${CORVINA_BENCH_REPEAT:-4}
tool=${CORVINA_TOOL:-/usr/bin/ffmpeg}
if [ ! -x "$tool" ]; then
  echo "versus_tool: $tool is missing (apt-get install ffmpeg)" >&2
  exit 2
fi
entries=${1:-3,6,8,10,15,19,25,39,41}
shift || true
cmake --build "$build" -j2 --target corvina-make-fixtures corvina-convert >/dev/null
media=$build/bench-media
"$build/bin/corvina-make-fixtures" "$media" --bench >/dev/null
clips=("$@")
[ ${#clips[@]} -gt 0 ] || clips=("$media/bench_1080p_10s.mov" "$media/bench_2160p_3s.mov")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
convert=$build/bin/corvina-convert
# The one-thread runs of both programs are pinned to the same processor: on a virtual machine
# the processors differ in speed from moment to moment, and a process that lands on the slower
# one, or moves between them, loses more than the difference being measured.
pin_cpu=${CORVINA_BENCH_CPU:-$(taskset -cp $$ | sed 's/.*: *//; s/.*[,-]//')}

# The tool's names for the engine's legacy encoder names.
tool_codec() {
  case "$1" in
    libfaac | mpeg4aac) echo aac ;;
    vorbis) echo libvorbis ;;
    libamr_nb) echo libopencore_amrnb ;;
    *) echo "$1" ;;
  esac
}

# One entry's job on one clip: the tool's arguments into $out/tool.args and the engine's
# option text into $out/engine.opts (the names the component gives each field).
job_args() {
  local entry=$1 clip=$2 key value
  local -a args=() opts=()
  while IFS='=' read -r key value; do
    case "$key" in
      output.VideoCodec) args+=(-c:v "$(tool_codec "$value")") opts+=("vcodec=$value") ;;
      output.VideoBitrate) [ "$value" -gt 0 ] && args+=(-b:v "$value") && opts+=("vb=$value") ;;
      output.FrameRate) args+=(-r "$value") opts+=("r=$value") ;;
      output.FrameSize) args+=(-s "$value") opts+=("s=$value") ;;
      output.AspectRatio) args+=(-aspect "$value") opts+=("aspect=$value") ;;
      output.DisableVideo) [ "$value" = true ] && args+=(-vn) && opts+=("vn=") ;;
      output.AudioCodec) args+=(-c:a "$(tool_codec "$value")") opts+=("acodec=$value") ;;
      output.AudioBitrate) [ "$value" -gt 0 ] && args+=(-b:a "$value") && opts+=("ab=$value") ;;
      output.AudioSampleRate) args+=(-ar "$value") opts+=("ar=$value") ;;
      output.AudioChannels) args+=(-ac "$value") opts+=("ac=$value") ;;
      output.AudioVolume) opts+=("vol=$value") ;;
      output.DisableAudio) [ "$value" = true ] && args+=(-an) && opts+=("an=") ;;
    esac
  done < <("$convert" -f "$entry" -o "$out" --print-job "$clip" | grep '^output\.')
  printf '%s\n' "${args[@]}" >"$out/tool.args"
  printf '%s\n' "${opts[@]}" >"$out/engine.opts"
}

# One run of a command: "seconds kilobytes" (wall time and max RSS).
# The wall time is taken to the microsecond: the time tool's hundredths are too coarse for the
# quarter-second jobs.
run_once() {
  local start end
  rm -f "$out"/engine.* # the engine never overwrites
  start=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$out/time" "$@" >/dev/null 2>"$out/err" || {
    echo "versus_tool: failed: $*" >&2
    cat "$out/err" >&2
    return 1
  }
  end=$EPOCHREALTIME
  echo "$(awk "BEGIN{printf \"%.4f\", $end - $start}") $(cat "$out/time")"
}

# The engine and the tool in turns, CORVINA_BENCH_REPEAT times, so that a slow spell of the
# machine falls on both: "engine_s engine_kb tool_s tool_kb ratio", each time and size the best
# run's, the ratio the median of the turns'. Every other turn the tool goes first, so that
# neither side always runs right after the other.
# Jobs under a second (the audio-only ones) vary most, from the start of a process on; they
# run three times as often.
keep_best() { # SECONDS_VAR KB_VAR SECONDS KB
  local -n best_s=$1 best_kb=$2
  if [ -z "$best_s" ] || awk "BEGIN{exit !($3 < $best_s)}"; then best_s=$3 best_kb=$4; fi
}
median() { # prints the median of its arguments
  printf '%s\n' "$@" | sort -g |
    awk '{a[NR]=$1} END{printf "%.4f", (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'
}
measure_pair() {
  local be="" me="" bt="" mt="" t m te tt i=0 n=$repeat side
  local -a turns=()
  while [ "$i" -lt "$n" ]; do
    for side in $([ $((i % 2)) -eq 0 ] && echo engine tool || echo tool engine); do
      if [ "$side" = engine ]; then
        read -r t m < <(run_once "${engine[@]}")
        keep_best be me "$t" "$m"
        te=$t
      else
        read -r t m < <(run_once "${toolcmd[@]}")
        keep_best bt mt "$t" "$m"
        tt=$t
      fi
    done
    turns+=("$(awk "BEGIN{printf \"%.4f\", $te / $tt}")")
    i=$((i + 1))
    if [ "$i" -eq 1 ] && awk "BEGIN{exit !($be < 1 && $bt < 1)}"; then n=$((repeat * 3)); fi
  done
  echo "$be $me $bt $mt $(median "${turns[@]}")"
}

ratios_all=()
printf '%-34s %-8s %9s %9s %6s %6s %8s %8s\n' "entry" "threads" "engine s" "tool s" "ratio" \
  "best" "eng MB" "tool MB"
for clip in "${clips[@]}"; do
  echo "-- $(basename "$clip")"
  IFS=, read -r -a list <<<"$entries"
  for entry in "${list[@]}"; do
    name=$("$convert" --list-formats | awk -F'\t' -v i="$entry" '$1 == i {print $2}')
    ext=${name##*.}
    ext=${ext%)}
    job_args "$entry" "$clip"
    mapfile -t targs <"$out/tool.args"
    opts=$(cat "$out/engine.opts")
    for mode in all one; do
      if [ "$mode" = all ]; then
        engine=("$convert" --raw -i "$clip" -o "$out/engine.$ext" --output-options "$opts")
        toolcmd=("$tool" -hide_banner -loglevel error -y -i "$clip" "${targs[@]}" "$out/tool.$ext")
      else
        pin=(taskset -c "$pin_cpu")
        engine=("${pin[@]}" "$convert" --raw --threads 1 -i "$clip" -o "$out/engine.$ext"
          --output-options "$opts")
        toolcmd=("${pin[@]}" "$tool" -hide_banner -loglevel error -y -filter_threads 1 -threads 1
          -i "$clip" -threads 1 "${targs[@]}" "$out/tool.$ext")
      fi
      read -r et em tt tm turn_ratio < <(measure_pair)
      ratio=$(awk "BEGIN{printf \"%.2f\", $turn_ratio}")
      best=$(awk "BEGIN{printf \"%.2f\", $et / $tt}")
      [ "$mode" = all ] && ratios_all+=("$ratio")
      printf '%-34s %-8s %9.3f %9.3f %6s %6s %8d %8d\n' "${name:0:34}" "$mode" "$et" "$tt" \
        "$ratio" "$best" $((em / 1024)) $((tm / 1024))
    done
  done
done
printf 'median ratio with all cores: %.3f\n' "$(median "${ratios_all[@]}")"

#!/usr/bin/env bash
# Time from process start to the window shown, velinor-sfx beside a bare Qt
# window of the same size, on the offscreen platform: the median of N whole
# runs of each, taken in alternation. Goal: velinor-sfx within 1.2x the bare window.
#
#   bash bench/app/startup.sh [build dir, default build/release] [runs, default 10]
#
# With BENCH_VALUES=<file>, the medians are also appended to that file as one
# line of key=value fields after the word "startup" (for bench/report).
#
# The version server is pointed at a refused port on 127.0.0.1, so a start-up
# version check ends at once and nothing leaves the machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
runs=${2:-10}
program=$build/app/velinor-sfx
bare=$build/bench/app/velinor-bare-window
for binary in "$program" "$bare"; do
  [[ -x $binary ]] || { echo "startup.sh: $binary is missing; build velinor-sfx and velinor-bare-window" >&2; exit 2; }
done

# A port nobody listens on: the kernel picks a free one and it is closed again.
refused_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export QT_QPA_PLATFORM=offscreen VELINOR_QUIT_WHEN_SHOWN=1
export VELINOR_DOWNLOAD_SERVER=http://127.0.0.1:$refused_port
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

# Wall time of one whole run in microseconds, into $elapsed_us. Bash's own
# clock, read without a subshell, so no extra process is timed.
run_us() {
  local start=${EPOCHREALTIME/[.,]/}
  "$1" >/dev/null 2>&1 || { echo "startup.sh: $1 failed" >&2; exit 1; }
  local end=${EPOCHREALTIME/[.,]/}
  elapsed_us=$((10#$end - 10#$start))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# One unmeasured run each warms the page cache and fontconfig's cache.
run_us "$bare"
run_us "$program"
bare_times=() program_times=()
for ((i = 0; i < runs; i++)); do
  run_us "$bare"
  bare_times+=("$elapsed_us")
  run_us "$program"
  program_times+=("$elapsed_us")
done
bare_median=$(printf '%s\n' "${bare_times[@]}" | median)
program_median=$(printf '%s\n' "${program_times[@]}" | median)
ratio=$(awk -v p="$program_median" -v b="$bare_median" 'BEGIN { printf "%.2f", p / b }')
verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.2) ? "within" : "above" }')

printf 'start to shown, median of %d runs (offscreen)\n' "$runs"
printf '  bare Qt window  %8.1f ms\n' "$(awk -v u="$bare_median" 'BEGIN { print u / 1000 }')"
printf '  velinor-sfx     %8.1f ms\n' "$(awk -v u="$program_median" 'BEGIN { print u / 1000 }')"
printf '  ratio           %8s   (%s the 1.2x goal)\n' "$ratio" "$verdict"
if [[ -n ${BENCH_VALUES:-} ]]; then
  echo "startup bare_us=$bare_median program_us=$program_median runs=$runs" >>"$BENCH_VALUES"
fi

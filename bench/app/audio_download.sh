#!/usr/bin/env bash
# The audio step of a download as whole processes, beside the curl tool, in
# one run: a generated file of SIZE MiB (default 256) served from 127.0.0.1 by
# velinor-file-server (sendfile), fetched RUNS times (default 7) in
# alternation by
#   curl -s -o FILE URL                    the reference
#   velinor-audio-fetch URL FILE           HttpGetFile, then WriteFileBytes
#   curl -s -o FILE URL && sync FILE       for reference: curl made as durable
#                                          as WriteFileBytes, which flushes
# writing into the same folder on disk. Reports the median wall times, their
# ratio, and velinor-audio-fetch's peak resident memory (/usr/bin/time %M).
# Goals: at most 1.1x curl's time; peak at most 1.1x the file plus 64 MiB.
#
#   bash bench/app/audio_download.sh [build dir, default build/release] [runs] [size MiB]
#
# Build first: cmake --preset release && cmake --build --preset release \
#   --target velinor-audio-fetch velinor-file-server
# The big files live in a temporary folder under /tmp, removed at the end.
# With BENCH_VALUES=<file>, the figures are also appended to that file as one
# line of key=value fields after the word "audio" (for bench/report).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
runs=${2:-7}
mib=${3:-256}
fetch=$build/bench/app/velinor-audio-fetch
server=$build/bench/app/velinor-file-server
for tool in "$fetch" "$server" curl /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "audio_download.sh: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d /tmp/velinor-audio-bench.XXXXXX)
server_pid=
cleanup() {
  [[ -n $server_pid ]] && { exec {SERVER[1]}>&- 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

bytes=$((mib * 1024 * 1024))
head -c "$bytes" /dev/urandom >"$work/audio.mp3"

# The server serves until its standard input closes: keep a pipe open to it.
coproc SERVER { "$server" "$work/audio.mp3"; }
server_pid=$SERVER_PID
read -r port <&"${SERVER[0]}"
url=http://127.0.0.1:$port/audio.mp3
out=$work/out.mp3

now() { date +%s%N; }
spread() { sort -n | awk '{ v[NR] = $1 } END { printf "%.0f-%.0f ms", v[1] / 1e6, v[NR] / 1e6 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# One unmeasured run of each, and a check that the bytes arrive intact.
curl -s -o "$out" "$url" && cmp -s "$out" "$work/audio.mp3" || { echo "curl fetched wrong bytes" >&2; exit 1; }
rm -f "$out"
"$fetch" "$url" "$out" && cmp -s "$out" "$work/audio.mp3" || { echo "velinor-audio-fetch wrote wrong bytes" >&2; exit 1; }
rm -f "$out"

# Each timed run starts with nothing dirty left by the one before: a flush
# forced by one process must not wait for another's writes.
settle() { rm -f "$out"; sync; }

curl_times=() velinor_times=() synced_times=() peaks=()
for ((i = 0; i < runs; i++)); do
  settle
  start=$(now)
  curl -s -o "$out" "$url"
  curl_times+=($(($(now) - start)))

  settle
  start=$(now)
  peaks+=("$(/usr/bin/time -f %M "$fetch" "$url" "$out" 2>&1 >/dev/null)")
  velinor_times+=($(($(now) - start)))

  settle
  start=$(now)
  curl -s -o "$out" "$url" && sync "$out"
  synced_times+=($(($(now) - start)))
done
settle

curl_ns=$(printf '%s\n' "${curl_times[@]}" | median)
velinor_ns=$(printf '%s\n' "${velinor_times[@]}" | median)
synced_ns=$(printf '%s\n' "${synced_times[@]}" | median)
peak_kib=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
curl_spread=$(printf '%s\n' "${curl_times[@]}" | spread)
velinor_spread=$(printf '%s\n' "${velinor_times[@]}" | spread)
synced_spread=$(printf '%s\n' "${synced_times[@]}" | spread)
awk -v mib="$mib" -v runs="$runs" -v c="$curl_ns" -v v="$velinor_ns" -v s="$synced_ns" \
  -v p="$peak_kib" -v cs="$curl_spread" -v vs="$velinor_spread" -v ss="$synced_spread" 'BEGIN {
    limit = mib * 1.1 + 64
    printf "%d MiB audio file from 127.0.0.1 to disk, median of %d runs\n", mib, runs
    printf "  curl -s -o              %8.1f ms   [%s]\n", c / 1e6, cs
    printf "  velinor-audio-fetch     %8.1f ms   [%s]  %.2fx curl (%s the 1.1x goal)\n", v / 1e6,
      vs, v / c, (v / c <= 1.1) ? "within" : "above"
    printf "  curl -s -o, then sync   %8.1f ms   [%s]  velinor-audio-fetch %.2fx this\n", s / 1e6,
      ss, v / s
    printf "  peak memory             %8.1f MiB  (goal <= %.1f MiB: %s)\n", p / 1024, limit,
      (p / 1024 <= limit) ? "within" : "above"
  }'
if [[ -n ${BENCH_VALUES:-} ]]; then
  echo "audio mib=$mib file_bytes=$bytes curl_ns=$curl_ns velinor_ns=$velinor_ns" \
    "curl_sync_ns=$synced_ns peak_kib=$peak_kib runs=$runs" >>"$BENCH_VALUES"
fi

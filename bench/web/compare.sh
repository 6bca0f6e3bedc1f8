#!/usr/bin/env bash
# Whole-process comparison of WebRequest (bench/web/fetch.cpp, raw bytes asked
# for) with the curl tool, both fetching the same bodies from the local bench
# server on 127.0.0.1, in one run:
#   - wall time of each process, median of RUNS runs, for 1 to 64 MiB;
#   - the ratio to curl's time (goal: at most 1.2 at 64 MiB);
#   - peak resident memory of the WebRequest process (/usr/bin/time %M) against
#     the body size (goal: at most 3x at 64 MiB);
#   - time per MiB, which stays flat when the time grows linearly.
#
# Build first (Release):
#   cmake -S . -B build/web-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
#     -DVELINOR_BUILD_TESTS=ON -DVELINOR_BUILD_APP=OFF
#   cmake --build build/web-release --target web_fetch web_bench_server -j2
# Then: bench/web/compare.sh [build-dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/web-release}
runs=${2:-7}
fetch=$build/bench/web/web_fetch
server=$build/bench/web/web_bench_server
for tool in "$fetch" "$server" curl /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing" >&2; exit 1; }
done

# The server serves until its standard input closes: keep a pipe open to it.
coproc SERVER { "$server"; }
read -r origin <&"${SERVER[0]}"
trap 'exec {SERVER[1]}>&-; wait "$SERVER_PID" 2>/dev/null || true' EXIT

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%8s %12s %12s %7s %12s %9s %14s\n' size_MiB curl_ms web_ms ratio web_peak_MiB peak/body web_ms_per_MiB
for mib in 1 2 4 8 16 32 64; do
  bytes=$((mib * 1024 * 1024))
  url=$origin/body/$bytes
  curl -s -o /dev/null "$url"  # warm the server's cache of this body
  curl_times=() web_times=() peaks=()
  for ((i = 0; i < runs; i++)); do
    # Alternate the order so neither tool always runs on a warmer machine.
    for tool in curl web; do
      start=$(now)
      if [[ $tool == curl ]]; then
        curl -s -o /dev/null "$url"
        curl_times+=($(($(now) - start)))
      else
        peak=$(/usr/bin/time -f %M "$fetch" "$url" 2>&1 >/dev/null)
        web_times+=($(($(now) - start)))
        peaks+=("$peak")
      fi
    done
  done
  curl_ns=$(printf '%s\n' "${curl_times[@]}" | median)
  web_ns=$(printf '%s\n' "${web_times[@]}" | median)
  peak_kib=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
  awk -v m="$mib" -v c="$curl_ns" -v w="$web_ns" -v p="$peak_kib" -v b="$bytes" 'BEGIN {
    printf "%8d %12.1f %12.1f %7.2f %12.1f %9.2f %14.2f\n",
      m, c / 1e6, w / 1e6, w / c, p / 1024, p * 1024 / b, w / 1e6 / m }'
done

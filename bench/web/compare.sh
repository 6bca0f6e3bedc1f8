#!/usr/bin/env bash
# Whole-process comparison of WebRequest (bench/web/fetch.cpp, raw bytes asked
# for) with the curl tool, both fetching the same bodies from the local bench
# server on 127.0.0.1, in one run. For each size from 1 to 64 MiB:
#   - wall time of each process, median of RUNS runs: curl writing to /dev/null
#     (discards the bytes), curl writing to a file on tmpfs (keeps them in
#     memory, as WebRequest must) and WebRequest;
#   - WebRequest's time as a ratio of each curl time;
#   - peak resident memory of the WebRequest process (/usr/bin/time %M) and
#     its ratio to the body size;
#   - WebRequest's extra time per extra MiB since the previous size, which
#     stays level when the time grows linearly (start-up cost drops out).
#
# Build first (Release):
#   cmake -S . -B build/web-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
#     -DVELINOR_BUILD_TESTS=ON -DVELINOR_BUILD_APP=OFF
#   cmake --build build/web-release --target web_fetch web_bench_server -j2
# Then: bench/web/compare.sh [build-dir] [runs]
# With BENCH_VALUES=<file>, each size's figures are also appended to that file
# as one line of key=value fields after the word "web" (for bench/report).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/web-release}
runs=${2:-7}
fetch=$build/bench/web/web_fetch
server=$build/bench/web/web_bench_server
for tool in "$fetch" "$server" curl /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing" >&2; exit 1; }
done
kept=$(mktemp -p /dev/shm web-compare.XXXXXX)

# The server serves until its standard input closes: keep a pipe open to it.
coproc SERVER { "$server"; }
read -r origin <&"${SERVER[0]}"
trap 'exec {SERVER[1]}>&-; wait "$SERVER_PID" 2>/dev/null || true; rm -f "$kept"' EXIT

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%8s %10s %10s %10s %10s %10s %10s %9s %12s\n' size_MiB curl_null curl_tmpfs web_ms \
  web/null web/tmpfs peak_MiB peak/body marginal_ms/MiB
previous_mib=0 previous_ns=0
for mib in 1 2 4 8 16 32 64; do
  bytes=$((mib * 1024 * 1024))
  url=$origin/body/$bytes
  curl -s -o /dev/null "$url"  # the server builds and caches this body once
  null_times=() kept_times=() web_times=() peaks=()
  for ((i = 0; i < runs; i++)); do
    start=$(now)
    curl -s -o /dev/null "$url"
    null_times+=($(($(now) - start)))

    start=$(now)
    curl -s -o "$kept" "$url"
    kept_times+=($(($(now) - start)))
    rm -f "$kept"

    start=$(now)
    peaks+=("$(/usr/bin/time -f %M "$fetch" "$url" 2>&1 >/dev/null)")
    web_times+=($(($(now) - start)))
  done
  null_ns=$(printf '%s\n' "${null_times[@]}" | median)
  kept_ns=$(printf '%s\n' "${kept_times[@]}" | median)
  web_ns=$(printf '%s\n' "${web_times[@]}" | median)
  peak_kib=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
  awk -v m="$mib" -v n="$null_ns" -v k="$kept_ns" -v w="$web_ns" -v p="$peak_kib" -v b="$bytes" \
    -v pm="$previous_mib" -v pw="$previous_ns" \
    'BEGIN { printf "%8d %10.1f %10.1f %10.1f %10.2f %10.2f %10.1f %9.2f %12.2f\n",
      m, n / 1e6, k / 1e6, w / 1e6, w / n, w / k, p / 1024, p * 1024 / b,
      (w - pw) / 1e6 / (m - pm) }'
  if [[ -n ${BENCH_VALUES:-} ]]; then
    echo "web mib=$mib body_bytes=$bytes curl_null_ns=$null_ns curl_tmpfs_ns=$kept_ns" \
      "web_ns=$web_ns web_peak_kib=$peak_kib runs=$runs" >>"$BENCH_VALUES"
  fi
  previous_mib=$mib previous_ns=$web_ns
done

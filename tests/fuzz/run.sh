#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for a bounded time over a
# copy of its seed corpus (the committed corpus is never written). Fails when
# any target finds something; the inputs that did are kept under
# build/fuzz/findings/<target>/.
#
#   tests/fuzz/run.sh <seconds-per-target> [libFuzzer flags...]
#   tests/fuzz/run.sh 20          # the short run of CI
#   tests/fuzz/run.sh 600         # the long run
#   FUZZ_TARGETS="header_stage_fuzzer" tests/fuzz/run.sh 60 -jobs=1
#
# A failure is reproduced by running the target on the input alone:
#   build/fuzz/tests/fuzz/<target> build/fuzz/findings/<target>/crash-...
set -euo pipefail

if [[ $# -lt 1 || ! "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 <seconds-per-target> [libFuzzer flags...]" >&2
  exit 2
fi
seconds=$1
shift

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/fuzz
targets=${FUZZ_TARGETS:-"text_primitives_fuzzer encoding_fuzzer header_stage_fuzzer
  cookie_merge_fuzzer regex_object_fuzzer charset_stage_fuzzer sound_file_name_fuzzer"}

cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target velinor_fuzzers -j "${FUZZ_BUILD_JOBS:-2}"

failed=()
for target in $targets; do
  work=$build/runs/$target
  findings=$build/findings/$target
  rm -rf "$work"
  mkdir -p "$work/corpus" "$findings"
  cp "$root/tests/fuzz/corpus/$target/"* "$work/corpus/"
  before=$(find "$findings" -type f | wc -l)

  echo "=== $target: ${seconds}s"
  status=0
  # Run inside its own directory: with -jobs=N libFuzzer writes its logs there.
  (cd "$work" && nice -n 10 "$build/tests/fuzz/$target" corpus \
    -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$@") >"$work/output.log" 2>&1 || status=$?

  grep -h -E "^stat::(number_of_executed_units|peak_rss_mb)|broken rule|ERROR:|SUMMARY:" \
    "$work"/output.log "$work"/fuzz-*.log 2>/dev/null | sort -u || true
  echo "corpus: $(find "$work/corpus" -type f | wc -l) inputs"
  after=$(find "$findings" -type f | wc -l)
  if [[ $status -ne 0 || $after -gt $before ]]; then
    echo "FAILED: $target (exit $status); see $work/output.log and $findings/"
    failed+=("$target")
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz targets with findings: ${failed[*]}" >&2
  exit 1
fi
echo "no findings"

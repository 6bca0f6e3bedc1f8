#!/usr/bin/env bash
# Valgrind memcheck over the unit test programs of a build (text, regex, web,
# charset, app, and the soak program with fewer calls), then over the program
# itself through one start-up. Fails when a test fails, or when memcheck
# reports any error or a definite leak that the suppressions beside this
# script do not name; each log keeps ready-made suppressions for what it found.
#
#   bash tests/valgrind/run.sh <build dir>    e.g. build/default
#
# Use a build without sanitizers (the default preset): valgrind cannot run
# AddressSanitizer's programs. Logs: <build dir>/valgrind/<program>.log.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh <build dir>}
build=$(cd "$build" && pwd)
command -v valgrind >/dev/null || { echo "run.sh: valgrind is missing" >&2; exit 2; }
if grep -q -- '-fsanitize' "$build/CMakeCache.txt" 2>/dev/null; then
  echo "run.sh: $build is a sanitizer build; valgrind needs a plain one" >&2
  exit 2
fi

logs=$build/valgrind
rm -rf "$logs"
mkdir -p "$logs"
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT

suppressions=()
for file in "$here"/*.supp; do suppressions+=(--suppressions="$file"); done

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime
# Under valgrind a soak call is some fifty times slower; a few hundred
# calls still pass every kind of call many times over.
export VELINOR_SOAK_CALLS=${VELINOR_SOAK_CALLS:-300}

programs=(
  tests/text/text_test
  tests/regex/regex_test
  tests/web/web_cookie_merge_test
  tests/web/web_header_stage_test
  tests/web/web_request_test
  tests/charset/charset_test
  tests/soak/soak_test
)
if [[ -d $build/tests/app ]]; then
  for program in "$build"/tests/app/app_*_test "$build"/tests/app/tst_*; do
    [[ -f $program && -x $program ]] && programs+=("${program#"$build"/}")
  done
fi

failed=()
check() {  # check <name> <command...>
  local name=$1 start status
  shift
  start=${EPOCHREALTIME/[.,]/}
  status=0
  valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --error-exitcode=99 --num-callers=40 \
    --gen-suppressions=all "${suppressions[@]}" --log-file="$logs/$name.log" \
    "$@" >"$logs/$name.out" 2>&1 || status=$?
  local seconds
  seconds=$(awk -v us=$((${EPOCHREALTIME/[.,]/} - start)) 'BEGIN { printf "%.1f", us / 1e6 }')
  case $status in
    0) printf '  %-34s %6s s  clean\n' "$name" "$seconds" ;;
    99)
      printf '  %-34s %6s s  MEMCHECK ERRORS (%s)\n' "$name" "$seconds" "$logs/$name.log"
      failed+=("$name")
      ;;
    *)
      printf '  %-34s %6s s  FAILED with status %d (%s)\n' "$name" "$seconds" "$status" \
        "$logs/$name.out"
      failed+=("$name")
      ;;
  esac
}

echo "valgrind memcheck over $build"
for program in "${programs[@]}"; do
  if [[ ! -x $build/$program ]]; then
    printf '  %-34s missing: build it first\n' "$(basename "$program")"
    failed+=("$(basename "$program")")
    continue
  fi
  check "$(basename "$program")" "$build/$program"
done
# The program itself: start-up, the version check (against a refused port,
# so nothing leaves the machine), the window shown, and the way out.
if [[ -x $build/app/velinor-sfx ]]; then
  refused_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  VELINOR_QUIT_WHEN_SHOWN=1 VELINOR_DOWNLOAD_SERVER=http://127.0.0.1:$refused_port \
    check velinor-sfx "$build/app/velinor-sfx"
fi

if ((${#failed[@]})); then
  echo "valgrind: ${#failed[@]} failed: ${failed[*]}"
  exit 1
fi
echo "valgrind: all clean"

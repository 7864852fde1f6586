#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, one after the other, and prints
# its executions per second and coverage. The first finding stops the run
# with a non-zero status; the input is kept in BUILD/fuzz-findings/.
# Usage: fuzz/run.sh BUILD SECONDS [TARGET...]
set -uo pipefail
build=$(cd "${1:-build-fuzz}" && pwd)
seconds=${2:-60}
shift 2 || true
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(ini listfile session tabhistory bookmark shortcut shelllink ipc dde text wildcard filter)

# The time-out is wall time: generous, so that a busy machine does not
# report slow units, yet any backtracking matcher still exceeds it.
# Every file a target writes stays in one temporary folder, in memory when
# the system has one, removed at the end.
shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || shm="$build"
export TMPDIR=$(mktemp -d "$shm/nimbra-fuzz.XXXXXX")
trap 'rm -rf "$TMPDIR"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$build/fuzz-findings"

printf '%-10s %10s %8s %8s %10s\n' target execs/s cov ft corpus
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$t"
  log="$build/fuzz-$t.log"
  mkdir -p "$corpus"
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
    -print_final_stats=1 -dict="$here/dict/$t.dict" -artifact_prefix="$build/fuzz-findings/$t-" \
    "$corpus" "$here/corpus/$t" >"$log" 2>&1
  status=$?
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  line=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$line")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$line")
  printf '%-10s %10s %8s %8s %10s\n' "$t" "${execs:--}" "${cov:--}" "${ft:--}" "${corp:--}"
  if [ $status -ne 0 ]; then
    echo "finding in fuzz_$t (status $status), see $log:" >&2
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -5 >&2
    exit 1
  fi
done

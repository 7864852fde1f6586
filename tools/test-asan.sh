#!/usr/bin/env bash
# Runs every test of a sanitizer build: the first report fails the test.
# The programs that tests start (browser, editor, nbdde) are checked too:
# every process writes its reports into BUILD/sanitizer-reports, and any
# report there fails the run after the tests.
set -uo pipefail
build=$(cd "${1:-build-asan}" && pwd)
shift || true
here=$(cd "$(dirname "$0")" && pwd)
reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# The engine frees some of its own objects with a sized delete of another
# size (a report inside Chromium alone): that one check is off.
export ASAN_OPTIONS="detect_leaks=1:new_delete_type_mismatch=0:log_path=$reports/asan:log_exe_name=1"
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan:log_exe_name=1"
bash "$here/test.sh" "$build" "$@"
status=$?
found=$(find "$reports" -type f -size +0 | sort)
if [ -n "$found" ]; then
  for f in $found; do
    echo "==== ${f#"$build"/}"
    cat "$f"
  done
  echo "sanitizer reports: $(wc -l <<<"$found") (in $reports)" >&2
  [ $status -eq 0 ] && status=1
fi
exit $status

#!/usr/bin/env bash
# Runs every test of a sanitizer build: the first report fails the test.
set -euo pipefail
build=${1:-build-asan}
supp="$(cd "$(dirname "$0")" && pwd)/sanitizer"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0:strict_string_checks=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
exec bash "$(dirname "$0")/test.sh" "$build"

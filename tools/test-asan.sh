#!/usr/bin/env bash
# Runs every test of a sanitizer build: the first report fails the test.
set -euo pipefail
build=${1:-build-asan}
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
exec bash "$(dirname "$0")/test.sh" "$build"

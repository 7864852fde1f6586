#!/usr/bin/env bash
# Runs every test offscreen on a private session bus; further arguments go
# to ctest (-R test_view runs one binary).
set -euo pipefail
build=${1:-build}
shift || true
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
cd "$build"
exec dbus-run-session -- ctest --output-on-failure --timeout 1200 -j 2 "$@"

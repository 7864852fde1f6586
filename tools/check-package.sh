#!/usr/bin/env bash
# Builds the Debian package of a build tree into a private folder and checks
# it as a packager would: lintian on the package and on its debug symbols,
# where any error or warning fails. Prints lintian's report and the sizes.
# Usage: tools/check-package.sh [BUILD]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mktemp -d "$build/package-check.XXXXXX")
trap 'rm -rf "$out"' EXIT

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
packages=("$out"/*.deb "$out"/*.ddeb)
for p in "${packages[@]}"; do
  echo "$(basename "$p"): $(stat -c %s "$p") bytes"
done
# --pedantic shows everything lintian has to say; only errors and warnings fail.
lintian --profile debian --pedantic --display-info \
  --fail-on error,warning "${packages[@]}"
echo "lintian: no error, no warning"

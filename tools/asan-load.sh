#!/usr/bin/env bash
# The browser of a sanitizer build under load: COUNT tabs (default 500) are
# opened through DDE, a list file of BATCH pages at a time, while pages load;
# each page closes its own tab once loaded. Then WWW_Exit closes the browser.
# Prints the sanitizer reports and the bytes leaked; run it with two counts
# to see that nothing grows with the count.
# Usage: tools/asan-load.sh [BUILD] [COUNT] [BATCH]
set -euo pipefail
build=$(cd "${1:-build-asan}" && pwd)
count=${2:-500}
batch=${3:-50}
work=$(mktemp -d)
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

export NIMBRA_HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1"
mkdir -p "$NIMBRA_HOME" "$XDG_CONFIG_HOME" "$work/www"
printf '<title>t</title><p>page</p><script>onload = () => setTimeout(() => close(), 50);</script>\n' \
  >"$work/www/close.html"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
server=$!
{
  printf '<HTML>\r\n<H1>UrlList</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n'
  for ((i = 0; i < batch; i++)); do printf '\t<LI>http://127.0.0.1:%s/close.html?%d\r\n' "$port" "$i"; done
  printf '</UL>\r\n</HTML>\r\n'
} >"$work/batch.nbl"

export build count batch work
dbus-run-session -- bash -c '
  set -u
  dde() { "$build/nbdde" "$@" >/dev/null 2>&1; }
  "$build/nimbrab" about:blank 2>"$work/nimbrab.err" &
  pid=$!
  t=0
  until dde topics || ((++t > 600)); do sleep 0.1; done
  start=$(date +%s)
  for ((opened = 0; opened < count; opened += batch)); do
    dde request WWW_OpenURL "$work/batch.nbl" || { echo "WWW_OpenURL failed" >&2; break; }
    # Wait until the pages have closed their tabs again (one tab stays).
    t=0
    while dde request WWW_GetWindowInfo 2 && ((++t < 1200)); do sleep 0.1; done
  done
  echo "opened and closed $opened tabs in $(( $(date +%s) - start )) s"
  dde poke WWW_Exit x x
  wait $pid
  echo "browser exit status $?"
'
reports=$(grep -cE '^(==[0-9]+==ERROR|.*runtime error:)' "$work/nimbrab.err" || true)
leaked=$(sed -n 's/^SUMMARY: AddressSanitizer: \([0-9]*\) byte(s) leaked in \([0-9]*\).*/\1 bytes in \2 allocations/p' "$work/nimbrab.err")
echo "sanitizer reports: $reports; leaked: ${leaked:-nothing}"
grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error:)' "$work/nimbrab.err" | head -20 || true
[ "$reports" -eq 0 ]

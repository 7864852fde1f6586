#!/usr/bin/env bash
# The browser of a sanitizer build under load: COUNT tabs (default 500) are
# opened through DDE, a list file of BATCH pages at a time, while pages load;
# each page, once loaded, takes a title of the blocked-title list, so its tab
# closes itself. Then WWW_Exit closes the browser.
# Prints the sanitizer reports and the bytes leaked; run it with two counts
# to see that nothing grows with the count.
# Usage: tools/asan-load.sh [BUILD] [COUNT] [BATCH]   (PORT=n: the page server's port)
set -euo pipefail
build=$(cd "${1:-build-asan}" && pwd)
count=${2:-500}
batch=${3:-50}
work=$(mktemp -d)
log="$build/asan-load-$count.log" # the browser's stderr, kept for reading
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

export NIMBRA_HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
# The engine frees some of its own objects with a sized delete of another
# size (a report inside Chromium alone): that one check is off.
export ASAN_OPTIONS="detect_leaks=1:new_delete_type_mismatch=0"
export UBSAN_OPTIONS="print_stacktrace=1"
mkdir -p "$NIMBRA_HOME" "$XDG_CONFIG_HOME" "$work/www"
printf '<title>t</title><p>page</p><script>onload = () => setTimeout(() => document.title = "close-me", 50);</script>\n' \
  >"$work/www/close.html"
printf '[Options]\r\nCloseTitle=1\r\n' >"$NIMBRA_HOME/nimbrab.ini"
printf '<HTML>\r\n<H1>Close Title List</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n\t<LI>close-me\r\n</UL>\r\n</HTML>\r\n' \
  >"$NIMBRA_HOME/closetitle.html"
port=${PORT:-$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')}
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
server=$!
{
  printf '<HTML>\r\n<H1>UrlList</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n'
  for ((i = 0; i < batch; i++)); do printf '\t<LI>http://127.0.0.1:%s/close.html?%d\r\n' "$port" "$i"; done
  printf '</UL>\r\n</HTML>\r\n'
} >"$work/batch.nbl"

export build count batch work log
dbus-run-session -- bash -c '
  set -u
  # Only the browser is looked at: the client leaves without a leak check.
  dde() { ASAN_OPTIONS=detect_leaks=0 "$build/nbdde" "$@" >/dev/null 2>&1; }
  "$build/nimbrab" about:blank 2>"$log" &
  pid=$!
  alive() { kill -0 $pid 2>/dev/null; }
  t=0
  until dde topics; do
    alive && ((++t < 300)) || { echo "the browser did not start" >&2; exit 1; }
    sleep 0.2
  done
  start=$(date +%s)
  opened=0
  while ((opened < count)) && alive; do
    # Under the sanitizers 50 new tabs can outlast the wait of the client for the
    # reply; the browser opens them all the same.
    dde request WWW_OpenURL "$work/batch.nbl" || sleep 5
    opened=$((opened + batch))
    # Wait until the pages have closed their tabs again (one tab stays).
    t=0
    while alive && dde request WWW_GetWindowInfo 2 && ((++t < 600)); do sleep 0.5; done
  done
  echo "opened and closed $opened tabs in $(( $(date +%s) - start )) s"
  alive && dde poke WWW_Exit x x
  wait $pid
  echo "browser exit status $?"
' || true
reports=$(grep -cE '^==[0-9]+==ERROR: AddressSanitizer|runtime error:' "$log" || true)
leaked=$(sed -n 's/^SUMMARY: AddressSanitizer: \([0-9]*\) byte(s) leaked in \([0-9]*\).*/\1 bytes in \2 allocations/p' "$log")
echo "sanitizer reports: $reports; leaked: ${leaked:-nothing} (browser output in $log)"
# The biggest leaks with the module of their first frame: a count that
# follows the number of tabs shows what grows.
awk '/^Direct leak of/ { head = $0; getline; getline; sub(/.*\(/, "", $0); sub(/\+.*/, "", $0); print head, $0 }' "$log" |
  sort -t' ' -k4,4nr | head -5
grep -E '^(==[0-9]+==ERROR|SUMMARY)|runtime error:' "$log" | head -20 || true
[ "$reports" -eq 0 ]

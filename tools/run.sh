#!/usr/bin/env bash
# Starts the browser. Without a display it runs under Xvfb, opens the URL
# (or the bundled start page), saves build/nimbrab.png and exits.
set -euo pipefail
build=${1:-build}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
url=${1:-$root/res/start.html}
export NIMBRA_HOME=${NIMBRA_HOME:-$root/$build/home}
mkdir -p "$NIMBRA_HOME"

# Other programs reach the browser over the session bus; start one if there is none.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -z "${NIMBRA_IN_BUS:-}" ]; then
  NIMBRA_IN_BUS=1 exec dbus-run-session -- bash "$0" "$build" "$@"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/$build/nimbrab" "$url"
fi

# Xvfb takes a display number that no other server uses and writes it once
# it accepts clients.
coproc XVFB { exec Xvfb -displayfd 1 -screen 0 1280x900x24 -nolisten tcp 2>/dev/null; }
xvfb=$XVFB_PID
trap 'kill $xvfb 2>/dev/null || true' EXIT
if ! read -r -t 30 number <&"${XVFB[0]}" || [ -z "$number" ]; then
  echo "Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=:$number

"$root/$build/nimbrab" "$url" &
browser=$!
# Wait for the window, then give the page time to render.
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -q 'Nimbra Browser' && break
  sleep 0.2
done
sleep "${NIMBRA_SHOT_DELAY:-4}"
import -window root "$root/$build/nimbrab.png"
echo "screenshot: $build/nimbrab.png"
kill -TERM $browser
wait $browser || true

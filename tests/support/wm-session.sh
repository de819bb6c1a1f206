#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) with a light window manager
# (openbox), so that GUI tests meet real minimise, restore and window
# switches. Xvfb chooses a free display number itself; both programs are
# stopped when the command ends. Exits non-zero, with a message, when the
# display or the window manager cannot be started: never skips.
#   tests/support/wm-session.sh COMMAND [ARGS...]
set -euo pipefail

fail() { echo "wm-session: $*" >&2; exit 1; }

for tool in Xvfb openbox xdotool wmctrl xmessage; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done

work="$(mktemp -d)"
xvfb=""
wm=""
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# -displayfd: the server writes its display number once it accepts clients.
exec {displayfd}>"$work/display"
Xvfb -displayfd "$displayfd" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec {displayfd}>&-
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb gave no display within 10 s"
export DISPLAY=":$(head -n1 "$work/display")"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 1 100); do
  wmctrl -m >/dev/null 2>&1 && break
  kill -0 "$wm" 2>/dev/null || fail "the window manager did not start: $(cat "$work/openbox.log")"
  sleep 0.1
done
wmctrl -m >/dev/null 2>&1 || fail "the window manager did not answer within 10 s on $DISPLAY"

export QT_QPA_PLATFORM=xcb
status=0
"$@" || status=$?
exit "$status"

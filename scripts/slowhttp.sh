#!/usr/bin/env bash
# Debian's slowhttptest against a fresh server: slow headers (-H), slow body
# (-B) and slow read (-X), 256 connections each. Prints one Markdown table on
# stdout: for each mode, how many seconds the service answered its probe out
# of the test's seconds, and what became of the attacking connections.
#
#   bash scripts/slowhttp.sh [ERP_SERVER_PROGRAM]
#
# SLOW_SECONDS (default 60) is each mode's length. The server is the build's
# erp-server unless another program is given (an older one, to compare).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ERP_BUILD_DIR:-$ROOT/build}"
SERVER="${1:-$BUILD/src/server/erp-server}"
SECONDS_EACH="${SLOW_SECONDS:-60}"
command -v slowhttptest >/dev/null || { echo "slowhttptest is not installed (apt-get install slowhttptest)" >&2; exit 1; }

WORK="$(mktemp -d)"
cleanup() {
  [ -n "${PID:-}" ] && kill "$PID" 2>/dev/null && wait "$PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

"$SERVER" --db "sqlite:$WORK/erp.db" --listen 127.0.0.1:0 --demo >"$WORK/listen" 2>"$WORK/server.log" &
PID=$!
for _ in $(seq 100); do grep -q "^listening on" "$WORK/listen" && break; sleep 0.1; done
PORT="$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$WORK/listen")"
[ -n "$PORT" ] || { echo "erp-server did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }
BASE="http://127.0.0.1:$PORT"

# Runs one mode; its CSV has one line per second: closed, pending, connected,
# and 256 where the probe was answered within 3 s, 0 where it was not.
attack() {
  local name="$1"
  shift
  echo "slowhttptest $name ..." >&2
  slowhttptest -c 256 -r 256 -l "$SECONDS_EACH" -p 3 -g -o "$WORK/mode$name" "$@" >"$WORK/mode$name.log" 2>&1 || true
  local ended
  ended="$(sed 's/\x1b\[[0-9;]*m//g' "$WORK/mode$name.log" | sed -n 's/^Exit status: *//p' | tail -1)"
  local shown="${*//$BASE/http://127.0.0.1:PORT}"
  awk -F, -v mode="$name" -v ended="$ended" -v args="$shown" '
    NR > 1 { seconds++; if ($5 > 0) up++; if ($4 > most) most = $4; last = $4 }
    END {
      printf "| `slowhttptest %s %s` | %d of %d s | %d at most, %d at the end | %s |\n", mode, args, up, seconds, most, last, ended
    }' "$WORK/mode$name.csv"
}

echo "| mode and options (also \`-c 256 -r 256 -l $SECONDS_EACH -p 3\`) | service available | attacking connections open | slowhttptest's verdict |"
echo "|---|---|---|---|"
attack -H -i 1 -u "$BASE/health"
attack -B -i 1 -s 8192 -t POST -u "$BASE/rpc/PAR47300.rdmParamIRPJ"
attack -X -k 10 -n 1 -w 1 -y 32 -z 8 -u "$BASE/health"

#!/usr/bin/env bash
# Runs the program: installs what is missing, builds, starts the application
# server on the demo database (created on first run, in data/) and opens the
# client with the screen PAR47300 for company 01. Extra arguments go to the client.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh"

mkdir -p "$ROOT/data"
DB="$ROOT/data/erp.db"
LOG="$ROOT/data/erp-server.log"
PORT="${ERP_PORT:-8211}"

"$BUILD/src/server/erp-server" --db "sqlite:$DB" --listen "127.0.0.1:$PORT" --demo >"$ROOT/data/erp-server.out" 2>"$LOG" &
SERVER=$!
trap 'kill "$SERVER" 2>/dev/null; wait "$SERVER" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  grep -q "^listening on" "$ROOT/data/erp-server.out" 2>/dev/null && break
  if ! kill -0 "$SERVER" 2>/dev/null; then
    echo "o servidor de aplicação não iniciou; veja $LOG" >&2
    cat "$LOG" >&2
    exit 1
  fi
  sleep 0.1
done
echo "servidor de aplicação em 127.0.0.1:$PORT (log: $LOG)"

"$BUILD/src/client/erp-client" --server "127.0.0.1:$PORT" --db "sqlite:$DB" --company 01 --open PAR47300 "$@"

#!/usr/bin/env bash
# Runs the program: installs what is missing, builds, then opens the client.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
exec "$BUILD/src/client/erp-client" "$@"

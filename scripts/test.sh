#!/usr/bin/env bash
# Every test: installs what is missing, builds, then runs the whole suite headless.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)" "$@"
# Bounded fuzzing of the packet codec and the server's dispatcher (ERP_SKIP_FUZZ=1 skips it).
[ "${ERP_SKIP_FUZZ:-}" = 1 ] || bash "$ROOT/scripts/fuzz.sh"

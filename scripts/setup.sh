#!/usr/bin/env bash
# Installs what is missing from Debian's packages, then configures and builds.
# Sourced by run.sh and test.sh; safe to run again (it only does what is missing).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ERP_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl-dev qt6-translations-l10n
  libcpp-httplib-dev libmicrohttpd-dev libsqlite3-dev libpq-dev libquazip1-qt6-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  postgresql haproxy
  xvfb openbox xdotool wmctrl x11-utils
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

WERROR=OFF
[ "${CI:-}" = "true" ] && WERROR=ON
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${ERP_BUILD_TYPE:-RelWithDebInfo}" -DERP_WERROR="$WERROR" >/dev/null
cmake --build "$BUILD" -j "$(nproc)"

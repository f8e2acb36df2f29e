#!/usr/bin/env bash
# Builds and runs every test: the Linux build, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time, then the 32-bit and 64-bit Windows builds with their tests
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh windows

run_preset() {
  echo "== $1 build"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$(nproc)"
  echo "== $1 tests"
  ctest --preset "$1"
}

for preset in dev asan; do
  run_preset "$preset"
done
bash scripts/fuzz.sh

# A Wine prefix of this run's own, so nothing of the user's Wine setup is
# touched and every run starts from the same registry. The server and the
# prefix's services start before ctest: started by the first test, they
# would keep ctest's output pipe open and ctest would never return.
scratch="$(mktemp -d)"
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$scratch"
}
trap stop_wine EXIT
echo "== preparing a Wine prefix"
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i </dev/null >/dev/null 2>&1

for preset in win32 win64; do
  run_preset "$preset"
done

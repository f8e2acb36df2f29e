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
# touched and every run starts from the same registry.
source scripts/wine-prefix.sh
scratch="$(mktemp -d)"
trap 'stop_wine; rm -rf "$scratch"' EXIT
echo "== preparing a Wine prefix"
prepare_wine_prefix "$scratch/wine"

for preset in win32 win64; do
  run_preset "$preset"
done

echo "== the same sessions on the Linux and the Windows workbench"
bash scripts/compare-faces.sh build/dev build/win32 build/win64

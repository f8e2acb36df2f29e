#!/usr/bin/env bash
# Builds and runs every test: the Linux build, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time, then the 32-bit and 64-bit Windows builds with their tests
# and their installer packages under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh windows

# Builds and tests one preset. A passing build or test run says only its
# count; a failing one is shown in full.
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
quietly() {
  if ! "$@" >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
}
build_preset() {
  echo "== $1 build"
  quietly cmake --preset "$1"
  quietly cmake --build --preset "$1" -j "$(nproc)"
}
run_preset() {
  build_preset "$1"
  echo "== $1 tests"
  quietly ctest --preset "$1"
  grep -E '^[0-9]+% tests passed' "$log"
}

for preset in dev asan; do
  run_preset "$preset"
done
bash scripts/fuzz.sh

# A Wine prefix of this run's own, so nothing of the user's Wine setup is
# touched and every run starts from the same registry.
source scripts/wine-prefix.sh
scratch="$(mktemp -d)"
trap 'stop_wine; rm -rf "$scratch" "$log"' EXIT
echo "== preparing a Wine prefix"
prepare_wine_prefix "$scratch/wine"

# The 32-bit build is always built; its tests need a machine that runs
# 32-bit programs, and where they cannot run the output says so.
if wine_runs_32bit; then
  run_preset win32
else
  build_preset win32
  echo "== win32 tests: not run, this machine cannot run 32-bit programs (no IA32 emulation)"
fi
run_preset win64
bash scripts/package-test.sh build/win32 build/win64

echo "== the same sessions on the Linux and the Windows workbench"
bash scripts/compare-faces.sh build/dev build/win32 build/win64

# Pictures of the dialogs under Xvfb, kept in the build folder; the ones
# in docs/pictures are copied from there when the dialogs change.
pictures_build=build/win64
wine_runs_32bit && pictures_build=build/win32
echo "== pictures of the dialogs"
bash scripts/dialog-pictures.sh "$pictures_build" "$pictures_build/pictures"

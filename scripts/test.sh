#!/usr/bin/env bash
# Builds and runs every test: the Linux build, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time, then the 32-bit and 64-bit Windows builds with their tests
# and their installer packages under Wine, the same sessions on every face,
# and the dialogs' pictures. Each stage's time is printed as it ends, and
# all of them at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

stage_names=() stage_seconds=() stage_name="" stage_start=$SECONDS
# Ends the running stage, if any, and starts the one named.
stage() {
  if [[ -n "$stage_name" ]]; then
    stage_names+=("$stage_name") stage_seconds+=($((SECONDS - stage_start)))
    echo "   ($stage_name: $((SECONDS - stage_start)) s)"
  fi
  stage_name="$1" stage_start=$SECONDS
  [[ -z "$1" ]] || echo "== $1"
}
stage_report() {
  local i
  echo "== time by stage"
  for i in "${!stage_names[@]}"; do
    printf '   %-40s %5d s\n' "${stage_names[$i]}" "${stage_seconds[$i]}"
  done
  printf '   %-40s %5d s\n' total "$SECONDS"
}

stage "installing what is missing"
bash scripts/install-deps.sh windows

# Runs a stage's command with a time limit: a stage that hangs fails the
# run, naming itself, rather than holding it until the CI gives up.
within() {
  local seconds="$1" status=0
  shift
  timeout --kill-after=30 "$seconds" "$@" || status=$?
  if ((status == 124 || status == 137)); then
    echo "== $stage_name did not end within $seconds s" >&2
  fi
  return "$status"
}

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
  stage "$1 build"
  quietly cmake --preset "$1"
  quietly cmake --build --preset "$1" -j "$(nproc)"
}
run_preset() {
  build_preset "$1"
  stage "$1 tests"
  quietly within 1800 ctest --preset "$1"
  grep -E '^[0-9]+% tests passed' "$log"
}

for preset in dev asan; do
  run_preset "$preset"
done
stage "fuzz targets"
within 900 bash scripts/fuzz.sh

# A Wine prefix of this run's own, so nothing of the user's Wine setup is
# touched and every run starts from the same registry.
source scripts/wine-prefix.sh
scratch="$(mktemp -d)"
trap 'stop_wine; rm -rf "$scratch" "$log"' EXIT
stage "preparing a Wine prefix"
prepare_wine_prefix "$scratch/wine"

# The 32-bit build is always built; where its programs cannot run, the
# output says why.
if wine_runs_32bit; then
  run_preset win32
else
  build_preset win32
  echo "== win32 tests: not run: $WINE32_PROBLEM"
fi
run_preset win64
stage "the installer packages under Wine"
within 900 bash scripts/package-test.sh build/win32 build/win64

stage "the same sessions on every face"
within 900 bash scripts/compare-faces.sh build/dev build/win32 build/win64

# Figures only, never a pass mark on time: the same batch through each face,
# with the host calls and the add-in's time per call. The faces must leave
# the same drawings behind.
stage "the batch on each face (figures)"
within 900 bash scripts/batch-faces.sh 100 build/dev build/win64 build/win32

# Pictures of the dialogs under Xvfb, kept in the build folder; the ones
# in docs/pictures are copied from there when the dialogs change.
pictures_build=build/win64
wine_runs_32bit && pictures_build=build/win32
stage "pictures of the dialogs ($pictures_build)"
within 900 bash scripts/dialog-pictures.sh "$pictures_build" "$pictures_build/pictures"
stage ""
stage_report

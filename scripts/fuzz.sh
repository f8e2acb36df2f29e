#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan and UBSan) and runs each
# for a bounded time, starting from its seed corpus in fuzz/corpus/<target>.
# The seeds include every input that once found a fault, so each run
# replays them first. Fails on any finding, and says where the input is.
#   BM_FUZZ_SECONDS   seconds per target (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${BM_FUZZ_SECONDS:-15}"

echo "== fuzz build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
status=0
for target in build/fuzz/fuzz/*_fuzz; do
  name="$(basename "$target" _fuzz)"
  seeds="fuzz/corpus/$name"
  mkdir -p "$scratch/$name/new" "$scratch/$name/findings"
  echo "== fuzz $name: $(find "$seeds" -type f | wc -l) seed inputs, ${seconds} s"
  # New inputs go to a scratch corpus: the committed seeds stay as they are.
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$scratch/$name/findings/" "$scratch/$name/new" "$seeds" \
       >"$scratch/$name/log" 2>&1; then
    status=1
    kept="build/fuzz/findings/$name"
    mkdir -p "$kept"
    cp "$scratch/$name/findings/"* "$kept/" 2>/dev/null || true
    grep -v '^INFO:' "$scratch/$name/log" | tail -40 >&2
    echo "fuzz $name: FINDING, input kept in $kept (add it to $seeds once mended)" >&2
  else
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$name/log")"
    echo "   $runs runs, no finding"
  fi
done
exit "$status"

#!/usr/bin/env bash
# The same batch through each face of the workbench, side by side: one
# generated workspace of DRAWINGS drawings, each referring to 5 of 20
# models of 50 properties each, copied by `--batch --timings` on the Linux
# workbench and on the Windows ones under Wine (win64, and win32 where
# 32-bit programs run; each also as the host of the other identity). Per
# face: the wall time of the program, the add-in's own time (its handlers
# and commands over the drawings, the host calls they make and the
# interlude window each copy shows included), the host calls it made, its
# time per host call and per drawing, and both times as a multiple of
# Linux's. The faces must also leave the same workspace behind. Builds
# nothing: give it built folders.
#
#   scripts/batch-faces.sh [DRAWINGS [LINUX_BUILD [WIN64_BUILD [WIN32_BUILD]]]]
#
# defaults: 1000 build/release build/win64 build/win32 (build/dev when there
# is no release build). A face whose build folder has no workbench is left
# out, and the output says so.
set -euo pipefail
cd "$(dirname "$0")/.."
drawings="${1:-1000}"
linux="${2:-build/release}"
[[ -z "${2:-}" && ! -x "$linux/bin/brindlemark-host" ]] && linux=build/dev
win64="${3:-build/win64}" win32="${4:-build/win32}"
[[ "$drawings" =~ ^[1-9][0-9]*$ ]] || { echo "batch-faces: DRAWINGS is a whole number above 0" >&2; exit 2; }
[[ -x "$linux/bin/brindlemark-host" ]] || { echo "batch-faces: no workbench in $linux/bin" >&2; exit 2; }

scratch="$(mktemp -d)"
source scripts/wine-prefix.sh
own_wine=0
finish() {
  ((own_wine)) && stop_wine
  rm -rf "$scratch"
}
trap finish EXIT

models=20 props=50 refs=5
bools=(false true)
# Properties of every type the host keeps, so that each conversion is made.
property() {
  case $(($2 % 5)) in
    0) printf '{ "name": "Field %d", "type": "text", "value": "model %d value %d" }' "$2" "$1" "$2" ;;
    1) printf '{ "name": "Field %d", "type": "integer", "value": %d }' "$2" $(($1 * 100 + $2)) ;;
    2) printf '{ "name": "Field %d", "type": "double", "value": %d.25 }' "$2" "$2" ;;
    3) printf '{ "name": "Field %d", "type": "date", "value": "2024-%02d-%02dT08:30" }' "$2" $(($1 % 12 + 1)) $(($2 % 28 + 1)) ;;
    4) printf '{ "name": "Field %d", "type": "boolean", "value": %s }' "$2" "${bools[$((($1 + $2) % 2))]}" ;;
  esac
}
{
  echo '{ "hostVersion": 5, "documents": ['
  for ((m = 0; m < models; ++m)); do
    printf '{ "file": "C:\\\\Work\\\\Model%d.ipt", "properties": [' "$m"
    for ((p = 0; p < props; ++p)); do
      ((p)) && printf ', '
      property "$m" "$p"
    done
    echo '] },'
  done
  for ((d = 0; d < drawings; ++d)); do
    printf '{ "file": "C:\\\\Work\\\\Sheet%d.idw", "properties": [ { "name": "Drawn By", "type": "text", "value": "A. Reader" } ], "references": [' "$d"
    for ((r = 0; r < refs; ++r)); do
      ((r)) && printf ', '
      printf '"C:\\\\Work\\\\Model%d.ipt"' $(((d + r * 4) % models))
    done
    ((d + 1 < drawings)) && echo '] },' || echo '] }'
  done
  echo '] }'
} >"$scratch/workspace.json"

faces=(linux)
if [[ -f "$win64/bin/brindlemark-host.exe" ]]; then
  faces+=(win64 win64-other)
else
  echo "win64 is left out: no workbench in $win64/bin"
fi
if [[ -f "$win32/bin/brindlemark-host.exe" ]]; then
  if wine_runs_32bit; then
    faces+=(win32 win32-other)
  else
    echo "win32 is left out: $WINE32_PROBLEM"
  fi
else
  echo "win32 is left out: no workbench in $win32/bin"
fi
choose_wine_loaders
if [[ "${faces[*]}" != linux && -z "${WINEPREFIX:-}" ]]; then
  prepare_wine_prefix "$scratch/wine"
  own_wine=1
fi

# $1 / $2 (times $3), 0 when $2 is (a time too short to count).
ratio() { awk -v a="$1" -v b="$2" -v k="${3:-1}" 'BEGIN { print (b == 0 ? 0 : a * k / b) }'; }

echo "$drawings drawings x $refs references x $props properties of $models models; Linux from $linux"
printf '%-12s %8s %10s %11s %15s %18s %7s %9s\n' Face "Wall s" "Add-in s" "Host calls" "Add-in us/call" "Add-in ms/drawing" "Wall x" "Add-in x"
failed=0
for face in "${faces[@]}"; do
  dir="$scratch/$face"
  mkdir -p "$dir"
  start=$(date +%s.%N)
  set +e
  run_face "$face" --batch --timings --quiet --registry "$dir/registry.reg" --out "$dir/out.json" \
    "$scratch/workspace.json" >"$dir/stdout" 2>"$dir/stderr" </dev/null
  code=$?
  set -e
  wall=$(awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { print a - b }')
  # "  timings: N host calls, S s in the add-in, U us a host call"
  read -r calls addin perCall < <(tr -d '\r' <"$dir/stdout" |
    sed -n 's/^  timings: \([0-9]*\) host calls, \([0-9.]*\) s in the add-in, \([0-9.]*\) us a host call$/\1 \2 \3/p')
  if ((code != 0)) || [[ -z "${calls:-}" ]]; then
    echo "$face: the batch ended with exit code $code"
    sed -n 1,5p "$dir/stderr"
    [[ "$face" == linux ]] && exit 1
    failed=1
    continue
  fi
  if [[ "$face" == linux ]]; then
    linuxWall=$wall linuxAddIn=$addin
  elif ! cmp -s "$scratch/linux/out.json" "$dir/out.json"; then
    echo "$face: the workspace it left differs from linux's"
    failed=1
  fi
  printf '%-12s %8.2f %10.3f %11d %15.2f %18.3f %7.1f %9.1f\n' "$face" "$wall" "$addin" "$calls" "$perCall" \
    "$(ratio "$addin" "$drawings" 1000)" "$(ratio "$wall" "$linuxWall")" "$(ratio "$addin" "$linuxAddIn")"
done
exit "$failed"

#!/usr/bin/env bash
# Plays the same sessions on the Linux workbench and on both Windows ones
# (under Wine) and compares what each leaves behind: the exit code (which
# must also be the one the session is written to end with), what the
# session printed on standard output and standard error (the Windows
# console's CR LF aside, and the paths of the library and the registry
# file, which differ), the workspace written with --out, the settings in
# its --registry file, and the host calls the add-in made by operation,
# byte for byte; on Windows none of those calls may have looked a member up
# by name. Of the class registration, which names each face's own library,
# only its readable name (the default value activation keeps as
# "Brindlemark") is compared. The sessions are the bundled samples and the
# dialog sessions of tests/workbench/sessions, whose dialogs the Windows
# workbench plays on the add-in's real windows.
#
#   scripts/compare-faces.sh [LINUX_BUILD [WIN32_BUILD [WIN64_BUILD]]]
#
# defaults: build/dev build/win32 build/win64. Where 32-bit programs cannot
# run, the win32 face is left out, and the output says so.
set -euo pipefail
cd "$(dirname "$0")/.."
linux="${1:-build/dev}" win32="${2:-build/win32}" win64="${3:-build/win64}"

scratch="$(mktemp -d)"
source scripts/wine-prefix.sh
own_wine=0
if [[ -z "${WINEPREFIX:-}" ]]; then
  prepare_wine_prefix "$scratch/wine"
  own_wine=1
fi
finish() {
  ((own_wine)) && stop_wine
  rm -rf "$scratch"
}
trap finish EXIT

# The -other faces serve the Windows workbench's host of another identity.
faces=(linux win32 win64 win32-other win64-other)
if ! wine_runs_32bit; then
  faces=(linux win64 win64-other)
  echo "win32 is not compared: $WINE32_PROBLEM"
fi
# The add-in's class id, as its source declares it.
class_id="$(sed -n 's/.*kClassId = "\({[0-9A-F-]*}\)";.*/\1/p' addin/cbrindlemark5.h)"
[[ -n "$class_id" ]] || { echo "compare-faces: no class id in addin/cbrindlemark5.h" >&2; exit 1; }

# Each run of value lines (those matching the pattern) sorted by name: the
# Linux store keeps values in the order written, Wine's registry by name.
sorted_values() {
  awk -v values_re="$1" '$0 ~ values_re { values = values $0 "\n"; next }
       { if (values != "") { printf "%s", values | "sort"; close("sort"); values = "" } print }
       END { if (values != "") { printf "%s", values | "sort"; close("sort") } }'
}

# The settings part of a registry file: its header and every section of
# HKEY_CURRENT_USER, with each section's values sorted by name.
settings_part() {
  awk '/^\[/ { keep = index($0, "[HKEY_CURRENT_USER") == 1 } NR <= 2 || keep' "$1" | sorted_values '^"'
}

# What a face printed, without what differs by nature between them: the
# paths of the library, the registry file and the output, the count of lookups by name
# (checked above), and the order of the values a `registry` step lists.
printed() {
  tr -d '\r' <"$1" |
    sed -E -e 's#^(  registered the add-in library ).*#\1LIBRARY#' \
      -e 's#^(  the add-in is active \().*\)$#\1LIBRARY)#' \
      -e 's#^(HKEY_[A-Z_]+\\.* in ).*:$#\1REGISTRY:#' \
      -e 's#^(brindlemark-host: |wrote ).*(out\.json)#\1\2#' |
    { grep -v '^Lookups by name:' || true; } | sorted_values '^  "'
}

failed=0
# Each session: the exit code it ends with, its script, the options it is
# played with.
sessions=("1 samples/missing-reference.txt"
  "0 samples/other-host-version.txt --host-version 6"
  "0 samples/session.txt"
  "0 samples/two-faces.txt")
for script in tests/workbench/sessions/*.txt; do
  # A session that fails says so: "# The session ends with exit code 1."
  code="$(sed -n 's/^# The session ends with exit code \([0-9]\)\.$/\1/p' "$script")"
  sessions+=("${code:-0} $script")
done
for session in "${sessions[@]}"; do
  read -r -a words <<<"$session"
  expected="${words[0]}" script="${words[1]}" options=("${words[@]:2}")
  name="$(basename "$script" .txt)"
  differs=0
  for face in "${faces[@]}"; do
    dir="$scratch/$name/$face"
    mkdir -p "$dir"
    # A session may start from a registry of its own, beside its script.
    [[ -f "${script%.txt}.reg" ]] && cp "${script%.txt}.reg" "$dir/registry.reg"
    set +e
    run_face "$face" "${options[@]}" --registry "$dir/registry.reg" --out "$dir/out.json" --script "$script" \
      samples/workspace.json >"$dir/stdout" 2>"$dir/stderr" </dev/null
    echo $? >"$dir/exit"
    set -e
    if [[ -f "$dir/registry.reg" ]]; then
      settings_part "$dir/registry.reg" >"$dir/settings.reg"
      # The readable name of the class registration, which activation sets.
      key="[HKEY_CLASSES_ROOT\\CLSID\\$class_id]" awk '/^\[/ { inClass = $0 == ENVIRON["key"] } inClass && /^@=/' \
        "$dir/registry.reg" >"$dir/class-name"
    fi
    # The host calls counted by the `calls` step; on Windows its lookups by
    # name, which must be none.
    # (Windows programs end their lines on the console with CR LF.)
    tr -d '\r' <"$dir/stdout" >"$dir/stdout.txt"
    sed -n '/^> calls$/,/^$/p' "$dir/stdout.txt" | grep -v '^Lookups by name:' >"$dir/calls" || true
    lookups="$(sed -n 's/^Lookups by name: //p' "$dir/stdout.txt")"
    printed "$dir/stdout" >"$dir/printed"
    printed "$dir/stderr" >"$dir/errors"
    if [[ "$face" != linux && -s "$dir/calls" && "$lookups" != 0 ]]; then
      echo "$name: $face looked up ${lookups:-an unknown number of} host members by name"
      differs=1 failed=1
    fi
  done
  for face in "${faces[@]:1}"; do
    for file in exit printed errors out.json settings.reg class-name calls; do
      a="$scratch/$name/linux/$file" b="$scratch/$name/$face/$file"
      if [[ -f "$a" || -f "$b" ]] && ! cmp -s "$a" "$b"; then
        echo "$name: $face differs from linux in $file"
        diff -u "$a" "$b" | head -20 || true
        differs=1 failed=1
      fi
    done
  done
  linux_dir="$scratch/$name/linux"
  if [[ "$(cat "$linux_dir/exit")" != "$expected" ]]; then
    echo "$name: exit $(cat "$linux_dir/exit"), not $expected as the session is written to end"
    sed -n 1,5p "$linux_dir/stderr"
    differs=1 failed=1
  fi
  summary="exit $(cat "$linux_dir/exit"), out.json"
  summary+=" $([[ -f "$linux_dir/out.json" ]] && echo written || echo 'not written')"
  values="$(grep -c '^"' "$linux_dir/settings.reg" 2>/dev/null || true)"
  summary+=", ${values:-0} settings values"
  calls="$(sed -n 's/^Host calls: //p' "$linux_dir/calls")"
  [[ -n "$calls" ]] && summary+=", $calls host calls"
  summary+=", class named $(sed -n 's/^@=//p' "$linux_dir/class-name" 2>/dev/null)"
  summary+=": $( ((differs)) && echo 'faces differ' || echo "alike on ${faces[*]}")"
  echo "$name: $summary"
done
exit "$failed"

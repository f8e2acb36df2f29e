#!/usr/bin/env bash
# Runs a Windows program, or one of Wine's own, under the Wine loader of
# the given bitness, in the prefix WINEPREFIX names: ctest's emulator for
# the Windows builds.
#   wine-run.sh 32|64 PROGRAM [ARGUMENT...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
choose_wine_loaders
bits="$1"
shift
case "$bits" in
  64) exec "$WINE64" "$@" ;;
  32) [[ -n "$WINE32" ]] || { echo "wine-run.sh: 32-bit programs cannot run here: $WINE32_PROBLEM" >&2; exit 1; }
      exec "$WINE32" "$@" ;;
  *) echo "wine-run.sh: the bitness is 32 or 64, not '$bits'" >&2; exit 2 ;;
esac

#!/usr/bin/env bash
# Builds the Windows Installer package of an add-in DLL with wixl (Debian's
# wixl package); the build's `msi` target calls it for its own DLL.
# Usage: build-msi.sh DLL x86|x64 VERSION OUTPUT.msi
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 DLL x86|x64 VERSION OUTPUT.msi" >&2; exit 2; }
wxs=$(realpath "$(dirname "$0")/brindlemark5.wxs")
out=$(realpath -m "$4")
# wixl finds a file's source only by a path relative to where it runs.
cd "$(dirname "$1")"
wixl --arch "$2" -D Arch="$2" -D Version="$3" -D AddInDll="$(basename "$1")" -o "$out" "$wxs"

#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Safe to run any number of times.
#   install-deps.sh           the Linux build: compiler, CMake, test libraries
#   install-deps.sh windows   also the Windows cross-build and Wine to run it
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
          nlohmann-json3-dev libedit-dev clang libclang-rt-14-dev)
if [ "${1:-}" = windows ]; then
  # googletest (above) brings the GoogleTest sources the cross builds compile;
  # libwine-dev brings the automation IDL files widl reads; fonts-wine the
  # dialogs' fonts; xvfb and xauth a display for the dialogs' pictures;
  # wixl builds the installer packages, msitools reads them back.
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64
             libwine-dev wine wine64 wine32:i386 fonts-wine xvfb xauth wixl msitools)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

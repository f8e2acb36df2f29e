#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Safe to run any number of times.
#   install-deps.sh           the Linux build: compiler, CMake, test libraries
#   install-deps.sh windows   also the Windows cross-build, Wine to run it,
#                             and a 32-bit Wine (see wine32-set.sh)
# A package index that cannot be fetched (a mirror mid-sync) is a warning:
# apt keeps the lists it has, and the install says whether what is needed
# can still be had. The 32-bit Wine is a warning too where it cannot be
# made: the 32-bit tests are then reported as not run, with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine32-set.sh

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
          nlohmann-json3-dev libedit-dev clang libclang-rt-14-dev)
windows=0
if [ "${1:-}" = windows ]; then
  windows=1
  # googletest (above) brings the GoogleTest sources the cross builds compile;
  # libwine-dev brings the automation IDL files widl reads; fonts-wine the
  # dialogs' fonts; xvfb and xauth a display for the dialogs' pictures;
  # wixl builds the installer packages, msitools reads them back.
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64
             libwine-dev wine wine64 fonts-wine xvfb xauth wixl msitools)
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# apt-get, tried three times with a growing pause: a dropped connection or
# a mirror mid-sync usually passes within a minute.
apt_get() {
  local try
  for try in 1 2 3; do
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3 "$@" && return 0
    if ((try < 3)); then
      echo "apt-get $1 failed; trying again in $((try * 15)) s" >&2
      sleep $((try * 15))
    fi
  done
  return 1
}

lists_updated=0
update_lists() {
  ((lists_updated)) && return 0
  lists_updated=1
  apt_get update -qq ||
    echo "warning: some package indexes could not be fetched; going on with the lists apt has" >&2
}

install_missing() {
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  ((${#missing[@]})) || return 0
  echo "Installing missing packages: ${missing[*]}"
  update_lists
  apt_get install -y -qq --no-install-recommends "${missing[@]}"
}

if ! install_missing "${packages[@]}"; then
  echo "install-deps: the packages above could not be installed" >&2
  exit 1
fi
((windows)) || exit 0

# The 32-bit Wine: the system's own where it runs (a kernel with 32-bit
# support and Debian's wine32:i386), otherwise our set under qemu-i386,
# whose version 9 or later comes from the backports suite.
/usr/lib/wine/wine --version >/dev/null 2>&1 && exit 0
codename="$(release_codename)"
major="$(qemu_i386_major)"
if [[ -z "$major" ]] || ((major < 9)); then
  if ! apt-get indextargets --format '$(RELEASE)' | grep -qx "$codename-backports"; then
    uri="$(release_suite_uri)"
    echo "Adding the $codename-backports suite of $uri for qemu-user"
    printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$uri" "$codename" | "${sudo[@]}" tee /etc/apt/sources.list.d/brindlemark-backports.sources >/dev/null
    lists_updated=0
  fi
  update_lists
  apt_get install -y -qq --no-install-recommends -t "$codename-backports" qemu-user ||
    echo "warning: qemu-user could not be installed from $codename-backports" >&2
fi
install_wine32_set || echo "warning: the 32-bit Wine could not be prepared: 32-bit Windows programs will not run" >&2

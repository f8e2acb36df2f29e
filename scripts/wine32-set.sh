# Sourced by install-deps.sh and wine-prefix.sh: a 32-bit Wine that runs on
# a machine whose kernel cannot run 32-bit programs, through qemu's i386
# user-mode emulation.
#
# Why a set of our own rather than Debian's wine32:i386: a multiarch
# install needs the i386 and amd64 copies of every shared library at the
# same version, so it breaks whenever the mirror's i386 and amd64 indexes
# disagree (seen here: the security suite's i386 index mid-sync, its amd64
# libraries newer than any i386 build). The set is taken from the release
# suite alone, which is self-consistent, downloaded with apt state of its
# own and unpacked into a folder; nothing of the system's is touched.
#
# The folder's usr/lib/wine holds the loaders side by side, as a multiarch
# install does, because Wine starts a 32-bit child through "wine" and a
# 64-bit one through "wine64" in the folder of the running loader:
#   wine         runs the i386 loader (wine.i386) under qemu-i386 -L <set>
#   wine64       a copy (not a link: Wine finds that folder from its own
#                path) of the system's 64-bit loader
#   wineserver64 a copy of the system's server, so one 64-bit server serves
#                both bitnesses
# and usr/lib/x86_64-linux-gnu/wine links to the system's 64-bit Wine, where
# the 64-bit loader looks for it from that folder.
#
# qemu must be 9 or later: 7.2 treats MAP_FIXED_NOREPLACE as a hint, and
# Wine's address-space reservation then retries for nearly a minute at
# every start.

WINE32_SET="${BM_WINE32_SET:-${XDG_CACHE_HOME:-$HOME/.cache}/brindlemark/wine32}"
WINE32_SET_LOADERS="$WINE32_SET/root/usr/lib/wine"
# Wine and the X libraries its display driver loads where it finds them
# (the dialogs' pictures are drawn through them), as the 64-bit side has.
WINE32_SET_PACKAGES=(wine32 libwine libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3)

# What the set in the cache must have been made from: the version of the
# system's 64-bit Wine, which it must match, and the packages.
wine32_set_stamp() {
  echo "$(dpkg-query -W -f='${Version}' libwine:amd64 2>/dev/null) ${WINE32_SET_PACKAGES[*]}"
}

# The release's code name, and the address of its main suite as the
# system's own apt sources name it (the backports suite and the set come
# from the same place).
release_codename() { (. /etc/os-release && echo "$VERSION_CODENAME"); }
release_suite_uri() {
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
    awk -v suite="$(release_codename)" '$2 == suite && $3 == "main" { print $1; exit }'
}

# qemu-i386's major version, or nothing where it is missing.
qemu_i386_major() {
  command -v qemu-i386 >/dev/null || return 0
  qemu-i386 --version | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p'
}

# Why the set cannot run here, or nothing when it can.
wine32_set_problem() {
  local major
  major="$(qemu_i386_major)"
  if [[ -z "$major" ]]; then
    echo "qemu-i386 is not installed"
  elif ((major < 9)); then
    echo "qemu-i386 $major is too old (9 or later starts Wine in a second, older ones take about a minute)"
  elif [[ ! -f "$WINE32_SET/complete" || "$(cat "$WINE32_SET/complete")" != "$(wine32_set_stamp)" ]]; then
    echo "the 32-bit Wine in $WINE32_SET is missing or not made for the system's Wine (scripts/install-deps.sh windows makes it)"
  fi
}

# Downloads and unpacks the set unless it is there at the system's Wine
# version already. The .deb files are kept, so a new unpack downloads
# nothing.
install_wine32_set() {
  local version uri state archives root
  version="$(dpkg-query -W -f='${Version}' libwine:amd64 2>/dev/null)"
  [[ -n "$version" ]] || { echo "install_wine32_set: the 64-bit Wine is not installed" >&2; return 1; }
  [[ -f "$WINE32_SET/complete" && "$(cat "$WINE32_SET/complete")" == "$(wine32_set_stamp)" ]] && return 0
  echo "Preparing a 32-bit Wine $version in $WINE32_SET (run through qemu-i386)"
  uri="$(release_suite_uri)"
  [[ -n "$uri" ]] || { echo "install_wine32_set: no source of the release suite in apt's lists" >&2; return 1; }
  state="$WINE32_SET/apt" archives="$WINE32_SET/archives" root="$WINE32_SET/root"
  mkdir -p "$state/lists/partial" "$archives/partial"
  echo "deb [arch=i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $(release_codename) main" \
    >"$state/sources.list"
  : >"$state/status"
  local apt_options=(-o Dir::Etc::SourceList="$state/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o Dir::State="$state" -o Dir::State::status="$state/status" -o Dir::Cache::archives="$archives"
    -o Dir::Cache::pkgcache="" -o Dir::Cache::srcpkgcache="" -o Debug::NoLocking=1
    -o APT::Architecture=i386 -o APT::Architectures::=i386 -o Acquire::Retries=3)
  # apt's download user cannot write into a folder of root's own.
  [[ "$(id -u)" -eq 0 ]] && apt_options+=(-o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" -qq update
  rm -f "$archives"/*.deb.partial
  apt-get "${apt_options[@]}" -qq -y --no-install-recommends --download-only install \
    "wine32=$version" "libwine=$version" "${WINE32_SET_PACKAGES[@]:2}" >/dev/null
  rm -rf "$root"
  mkdir -p "$root"
  local deb
  for deb in "$archives"/*.deb; do
    dpkg-deb -x "$deb" "$root"
  done
  # libwine's own install step: the zlib DLL of mingw-w64, marked as one of
  # Wine's built-in DLLs.
  local zlib="$root/usr/i686-w64-mingw32/lib/zlib1.dll"
  { head -c 64 "$zlib"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib"; } \
    >"$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
  # The set's own library cache: without one, the emulated loader reads the
  # system's, and may mix in the system's 32-bit libc.
  echo 'include /etc/ld.so.conf.d/*.conf' >"$root/etc/ld.so.conf"
  /sbin/ldconfig -r "$root"
  # The loader keeps its name as the emulated program's argv[0] (-0), for
  # Wine starts its children through the loader named as its own.
  # WINELOADERNOEXEC: the loader would otherwise start itself again through
  # the preloader, which Debian's Wine does not have.
  mv "$WINE32_SET_LOADERS/wine" "$WINE32_SET_LOADERS/wine.i386"
  cat >"$WINE32_SET_LOADERS/wine" <<EOF
#!/bin/sh
WINELOADERNOEXEC=1 exec qemu-i386 -0 "$WINE32_SET_LOADERS/wine" -L "$root" "$WINE32_SET_LOADERS/wine.i386" "\$@"
EOF
  chmod +x "$WINE32_SET_LOADERS/wine"
  cp /usr/lib/wine/wine64 /usr/lib/wine/wineserver64 "$WINE32_SET_LOADERS/"
  mkdir -p "$root/usr/lib/x86_64-linux-gnu"
  ln -sfn /usr/lib/x86_64-linux-gnu/wine "$root/usr/lib/x86_64-linux-gnu/wine"
  wine32_set_stamp >"$WINE32_SET/complete"
}

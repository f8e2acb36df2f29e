# Sourced by the scripts that run Windows programs under Wine.
# prepare_wine_prefix DIR [display]: a fresh Wine prefix in DIR, exported
# as WINEPREFIX, with its server and services running before any program
# of ours. Started by the first program instead, they would keep its
# caller's output pipes open (ctest would never return).
#   Without `display`, windows are made by Wine's null graphics driver:
# they exist and get their messages, as on a desktop, without a display.
#   With `display` (under xvfb-run), Wine's X11 driver draws on one 800x600
# virtual desktop, which gives windows their frames and captions without a
# window manager. The desktop is set through Wine's registry keys: starting
# it with `explorer /desktop=` would swallow the program's exit code.
# stop_wine ends the server. run_face runs one face of the workbench.
#   The loaders, WINE64 and WINE32, are chosen once (choose_wine_loaders)
# and exported, so that the programs and scripts started later use the
# same: the system's own where its 32-bit Wine runs; otherwise the set of
# wine32-set.sh, whose 32-bit loader runs under qemu-i386, where that set
# is ready; otherwise the system's 64-bit loader alone, WINE32 empty and
# WINE32_PROBLEM saying why 32-bit programs cannot run.
#   WINE_RUNS_32BIT=no leaves 32-bit programs out on purpose, for a quick
# run of the 64-bit face alone.

source "$(dirname "${BASH_SOURCE[0]}")/wine32-set.sh"

# How long Wine's own tools and a wait on its server may take before they
# count as hung (a prefix's first start makes its 32-bit half under qemu).
WINE_WAIT_SECONDS=300

choose_wine_loaders() {
  [[ -n "${WINE64:-}" ]] && return 0
  WINE32="" WINE32_PROBLEM=""
  if [[ "${WINE_RUNS_32BIT:-}" == no ]]; then
    WINE32_PROBLEM="left out on request (WINE_RUNS_32BIT=no)" WINE64=/usr/lib/wine/wine64
  elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
    WINE32=/usr/lib/wine/wine WINE64=/usr/lib/wine/wine64
  else
    WINE32_PROBLEM="$(wine32_set_problem)"
    if [[ -z "$WINE32_PROBLEM" ]]; then
      WINE32="$WINE32_SET_LOADERS/wine" WINE64="$WINE32_SET_LOADERS/wine64"
    else
      WINE64=/usr/lib/wine/wine64
    fi
  fi
  export WINE32 WINE64 WINE32_PROBLEM
}

wine_runs_32bit() {
  choose_wine_loaders
  [[ -n "$WINE32" ]]
}

# Wine's own tools (wineboot, reg) run as 64-bit programs.
wine_tool() {
  choose_wine_loaders
  timeout "$WINE_WAIT_SECONDS" "$WINE64" "$@"
}

# The loader for a Windows program: the 64-bit one for an x86-64 program
# (machine 0x8664 in its PE header), the 32-bit one otherwise.
wine_loader_for() {
  local pe machine
  choose_wine_loaders
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')
  if [ "$machine" = 8664 ]; then echo "$WINE64"; else echo "$WINE32"; fi
}

# The server's processes of this prefix: the services of another prefix on
# the same machine do not count.
prefix_runs_services() {
  local pid
  for pid in $(pgrep -f 'system32\\services.exe'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

wait_for_wineserver() {
  if ! timeout "$WINE_WAIT_SECONDS" wineserver -w; then
    echo "Wine's server for $WINEPREFIX did not end within $WINE_WAIT_SECONDS s" >&2
    return 1
  fi
}

prepare_wine_prefix() {
  choose_wine_loaders
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER="$WINE64"
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wine_tool wineboot -i </dev/null >/dev/null 2>&1
  if [ "${2:-}" = display ]; then
    wine_tool reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
    wine_tool reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f </dev/null >/dev/null 2>&1
    # Wine's own outline fonts (Tahoma, and Marlett for the caption
    # buttons) where every Wine finds them; MS Sans Serif, which Wine has
    # only as bitmaps that it passes over, drawn in Tahoma as Windows'
    # dialog font is, rather than in the much wider DejaVu Sans.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    wine_tool reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'MS Sans Serif' /d Tahoma /f </dev/null >/dev/null 2>&1
  else
    wine_tool reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  fi
  if wine_runs_32bit && [[ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]]; then
    echo "the Wine prefix $WINEPREFIX has no 32-bit system (syswow64 is empty)" >&2
    return 1
  fi
  # The desktop and the services start again with these settings.
  wineserver -k
  wait_for_wineserver
  start_wine
}

# Starts the server and the services of WINEPREFIX, as a program of ours
# finds them.
start_wine() {
  wineserver -p
  wine_tool wineboot </dev/null >/dev/null 2>&1
  if ! prefix_runs_services; then
    echo "the Wine prefix $WINEPREFIX did not start its services" >&2
    return 1
  fi
}

stop_wine() {
  wineserver -k 2>/dev/null || true
  wait_for_wineserver 2>/dev/null || true
}

# Runs a face's workbench with the arguments given: linux, win32, win64, or
# win32-other and win64-other, the Windows workbench serving the host of
# the other identity; from the build folders in $linux, $win32 and $win64.
run_face() {
  local face="$1"
  shift
  case "$face" in
    linux) "$linux/bin/brindlemark-host" "$@" ;;
    win32) "$WINE32" "$win32/bin/brindlemark-host.exe" "$@" ;;
    win64) "$WINE64" "$win64/bin/brindlemark-host.exe" "$@" ;;
    win32-other) "$WINE32" "$win32/bin/brindlemark-host.exe" --host-types other "$@" ;;
    win64-other) "$WINE64" "$win64/bin/brindlemark-host.exe" --host-types other "$@" ;;
  esac
}

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
# stop_wine ends the server.
#   Some machines cannot run 32-bit programs at all (a kernel without IA32
# emulation): there `wine` (the 32-bit loader, preferred by Debian's wrapper)
# fails with "Exec format error". wine_runs_32bit tells; the prefix is then
# made by the 64-bit loader, and only 64-bit Windows programs can run.

WINE64=/usr/lib/wine/wine64

# Asked of the machine once; every later call answers from the first.
wine_runs_32bit() {
  if [ -z "${WINE_RUNS_32BIT:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then WINE_RUNS_32BIT=yes; else WINE_RUNS_32BIT=no; fi
  fi
  [ "$WINE_RUNS_32BIT" = yes ]
}

# The loader for Wine's own tools (wineboot, reg) on this machine.
wine_tool() {
  if wine_runs_32bit; then wine "$@"; else "$WINE64" "$@"; fi
}

# The loader for a Windows program: the 64-bit one for an x86-64 program
# (machine 0x8664 in its PE header), `wine` for a 32-bit one.
wine_loader_for() {
  local pe machine
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')
  if [ "$machine" = 8664 ]; then echo "$WINE64"; else echo wine; fi
}

prepare_wine_prefix() {
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wine_runs_32bit || export WINELOADER="$WINE64"
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
  # The desktop and the services start again with these settings.
  wineserver -k
  wineserver -w
  wineserver -p
  wine_tool wineboot </dev/null >/dev/null 2>&1
  if ! pgrep -f 'system32\\services.exe' >/dev/null; then
    echo "the Wine prefix $WINEPREFIX did not start its services" >&2
    return 1
  fi
}

stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

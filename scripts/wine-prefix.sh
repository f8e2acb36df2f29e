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

prepare_wine_prefix() {
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wineboot -i </dev/null >/dev/null 2>&1
  if [ "${2:-}" = display ]; then
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f </dev/null >/dev/null 2>&1
  else
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  fi
  # The desktop and the services start again with these settings.
  wineserver -k
  wineserver -w
  wineserver -p
  wineboot </dev/null >/dev/null 2>&1
}

stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

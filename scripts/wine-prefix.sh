# Sourced by the scripts that run Windows programs under Wine.
# prepare_wine_prefix DIR: a fresh Wine prefix in DIR, exported as
# WINEPREFIX, with its server and services running before any program of
# ours. Started by the first program instead, they would keep its caller's
# output pipes open (ctest would never return). Windows are made by Wine's
# null graphics driver: they exist and get their messages, as on a desktop,
# without a display. stop_wine ends the server.

prepare_wine_prefix() {
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wineboot -i </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  # The desktop and the services start again with the null driver.
  wineserver -k
  wineserver -w
  wineserver -p
  wineboot </dev/null >/dev/null 2>&1
}

stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

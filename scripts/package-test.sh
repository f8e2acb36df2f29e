#!/usr/bin/env bash
# Builds the Windows Installer package of each given build folder (presets
# win32, win64) and tries it under Wine as a person would:
#   - its Registry table holds every row of the class's registration;
#   - `msiexec /i /qn` into a fresh prefix leaves the same keys and values
#     as `regsvr32` in another fresh prefix (the DLL's path aside), and a
#     script creates the class by its ProgID and reads its settings; the
#     DLL the class names carries the version; a repair restores a deleted
#     key;
#   - the next version installed over it leaves one product: the older
#     one's product code is no longer known, the newer one is listed, and
#     the older package refuses to go over it;
#   - `msiexec /x /qn` leaves the prefix's files and registry as they were
#     before the install, but for the user's settings, which stay.
# A 32-bit package is built and its table checked everywhere; it is tried
# under Wine only where 32-bit programs run.
# Usage: package-test.sh BUILD_DIR...
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-prefix.sh

class='{F5E15921-9A9A-11D5-B219-0000E83F3400}'
progid=Brindlemark5.CBrindlemark5
libid='{B58D947D-4D60-4DE4-8E30-C4D62E5C85F9}'
iid='{65D847F2-A475-4373-A427-88A7CA1578C9}'
proxy='{00020424-0000-0000-C000-000000000046}'
settings='HKCU\Software\Quillfern\Copy Custom Prop\Defaults'
settings_vbs=tests/win32_server/settings.vbs
failures=0
scratch=$(mktemp -d)
# Only the prefixes made here are stopped, never the caller's.
unset WINEPREFIX
trap '[ -n "${WINEPREFIX:-}" ] && stop_wine; rm -rf "$scratch"' EXIT

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }

# --- the package's tables -----------------------------------------------------

# The rows DllRegisterServer and RegisterTypeLib write, as Root, Key, Name,
# Value and Component of the Registry table (root 0: HKEY_CLASSES_ROOT).
expected_rows() {  # x86|x64
  local platform=win32 interface_components=AddIn
  [ "$1" = x64 ] && platform=win64 interface_components="AddIn AddInInterface32"
  local c
  printf '%s\n' \
    "0|CLSID\\$class||$progid|AddIn" \
    "0|CLSID\\$class\\InprocServer32||[#Brindlemark5.dll]|AddIn" \
    "0|CLSID\\$class\\InprocServer32|ThreadingModel|Apartment|AddIn" \
    "0|CLSID\\$class\\ProgID||$progid|AddIn" \
    "0|CLSID\\$class\\TypeLib||$libid|AddIn" \
    "0|$progid||$progid|AddIn" \
    "0|$progid\\CLSID||$class|AddIn" \
    "0|TypeLib\\$libid\\1.0||Brindlemark5|AddIn" \
    "0|TypeLib\\$libid\\1.0\\0\\$platform||[#Brindlemark5.dll]|AddIn" \
    "0|TypeLib\\$libid\\1.0\\FLAGS||8|AddIn" \
    "0|TypeLib\\$libid\\1.0\\HELPDIR||[INSTALLDIR]|AddIn"
  for c in $interface_components; do
    printf '%s\n' \
      "0|Interface\\$iid||_CBrindlemark5|$c" \
      "0|Interface\\$iid\\ProxyStubClsid||$proxy|$c" \
      "0|Interface\\$iid\\ProxyStubClsid32||$proxy|$c" \
      "0|Interface\\$iid\\TypeLib||$libid|$c" \
      "0|Interface\\$iid\\TypeLib|Version|1.0|$c"
  done
}

check_tables() {  # MSI x86|x64 VERSION
  local rows missing extra
  echo "== msiinfo $(basename "$1")"
  msiinfo tables "$1" | grep -qx Registry || { fail "$1 has no Registry table"; return; }
  rows=$(msiinfo export "$1" Registry | tr -d '\r' | tail -n +4 | cut -f2- | tr '\t' '|' | sort)
  missing=$(comm -23 <(expected_rows "$2" | sort) <(echo "$rows"))
  extra=$(comm -13 <(expected_rows "$2" | sort) <(echo "$rows"))
  [ -z "$missing" ] || fail "registry rows missing from $1:
$missing"
  [ -z "$extra" ] || fail "registry rows in $1 that registration does not write:
$extra"
  [ -z "$missing$extra" ] && echo "Registry table: $(echo "$rows" | wc -l) rows, as registration writes them"
  [ "$(product_property "$1" ProductVersion)" = "$3" ] || fail "$1 is not version $3"
  [ "$(product_property "$1" Manufacturer)" = Quillfern ] || fail "$1 names another maker"
}

product_property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v p="$2" '$1 == p { print $2 }'; }

# --- the prefix as files and registry -----------------------------------------

# The wine server writes the registry to its files when it stops; it is
# started again (start_wine) after a look.
# Every file and folder of drive C with its size.
prefix_files() { (cd "$WINEPREFIX/drive_c" && find . -printf '%y %s %p\n' | sort); }
# The registry's keys and values, one "[key] value" line each, keys in
# lower case (the registry ignores case), without the times Wine keeps.
# An empty key stands alone on its line.
registry_lines() {
  awk '
    /^\[/ { key = tolower($0); sub(/\] [0-9]+$/, "]", key); print key; next }
    /^#/ || /^$/ || /^WINE REGISTRY/ || /^;;/ { next }
    { print key " " $0 }' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"
}
# The class's identifiers as they appear in the lower-cased keys.
ids=$(echo "$class|$libid|$iid|$progid" | tr -d '{}' | tr 'A-Z' 'a-z' | sed 's/\./[.]/g')
# The class's keys, the DLL's path and folder left aside: written by
# regsvr32 they name the build folder, by the package Program Files.
class_keys() {
  registry_lines | grep -E "^\[[^]]*($ids)" |
    sed -E 's/@="[^"]*\\\\Brindlemark5\.dll"$/@="<the DLL>"/; s/(\\\\helpdir\]) @=".*"$/\1 @="<its folder>"/'
}
# Keys that are empty before or after (Windows Installer drops empty keys it
# passes when removing its own and keeps those it made for its records), the
# user's settings, a driver date Wine sets at each start and the folder
# Windows Installer makes for its records at its first install are left
# aside; nothing of the class's may be left, not even an empty key.
prefix_state() {
  prefix_files | grep -v '^d [0-9]* \./windows/Installer$'
  registry_lines | awk -v ids="$ids" '
    /^\[[^]]*\]$/ && $0 !~ ids { next }
    index($0, "software\\\\quillfern") { next }
    /"DriverDateData"=/ { next }
    { print }'
}
snapshot() {  # NAME: the prefix's state and class keys, in $scratch/NAME.*
  stop_wine
  prefix_state >"$scratch/$1.state"
  class_keys >"$scratch/$1.keys"
  start_wine
}

# --- under Wine -----------------------------------------------------------------

# Products Windows Installer lists as installed, by "Programs and Features"'
# uninstall entries: code, name, version and maker.
listed_products() {
  registry_lines | awk '
    match($0, /^\[[^]]*currentversion\\\\uninstall\\\\\{[^]]*\] /) {
      key = substr($0, 1, RLENGTH - 1); sub(/.*\\\\/, "", key); sub(/\]$/, "", key)
      if (index($0, "\"DisplayName\"=")) name[key] = substr($0, RLENGTH + 16)
      if (index($0, "\"DisplayVersion\"=")) version[key] = substr($0, RLENGTH + 19)
      if (index($0, "\"Publisher\"=")) maker[key] = substr($0, RLENGTH + 14)
    }
    END { for (k in name) if (index(name[k], "Brindlemark")) print toupper(k), name[k], version[k], maker[k] }' |
    tr -d '"'
}

try_package() {  # BUILD MSI x86|x64 VERSION
  local build=$1 msi=$2 arch=$3 version=$4 wine dll win_msi printed product next next_msi status
  dll=$build/bin/Brindlemark5.dll
  wine=$(wine_loader_for "$dll")
  local expected_settings
  expected_settings=$(cat "${settings_vbs%.vbs}.expected")

  echo "== regsvr32 in a fresh prefix"
  prepare_wine_prefix "$scratch/regsvr32-$arch"
  "$wine" regsvr32 /s "$("$wine" winepath -w "$dll" | tr -d '\r')" || fail "regsvr32 answered $?"
  stop_wine
  # A 32-bit RegisterTypeLib on 64-bit Windows writes the interface into the
  # 64-bit view as well, where a 32-bit package cannot write; only a 64-bit
  # program marshalling the interface would look there.
  if [ "$arch" = x86 ]; then
    class_keys | grep -v '^\[software\\\\classes\\\\interface\\\\' >"$scratch/regsvr32.keys"
  else
    class_keys >"$scratch/regsvr32.keys"
  fi
  echo "$(wc -l <"$scratch/regsvr32.keys") lines of keys and values"

  echo "== msiexec /i $(basename "$msi") /qn in another fresh prefix"
  prepare_wine_prefix "$scratch/package-$arch"
  # Its first script registers the script host's own type library: done
  # before the first look, it is not taken for the package's doing.
  "$wine" cscript //nologo "$("$wine" winepath -w "$scratch/file-version.vbs" | tr -d '\r')" >/dev/null 2>&1
  printed=$("$(wine_loader_for "$build/bin/brindlemark-host.exe")" "$build/bin/brindlemark-host.exe" --version |
    tr -d '\r' | head -1)
  [ "$printed" = "brindlemark-host $version (Brindlemark by Quillfern)" ] ||
    fail "brindlemark-host.exe --version says '$printed'"
  snapshot before
  win_msi=$("$wine" winepath -w "$msi" | tr -d '\r')
  "$wine" msiexec /i "$win_msi" /qn || fail "msiexec /i answered $?"
  snapshot installed
  if diff -u "$scratch/regsvr32.keys" "$scratch/installed.keys"; then
    echo "the class's keys and values are those regsvr32 writes ($(wc -l <"$scratch/installed.keys") lines)"
  else
    fail "the package's registration differs from regsvr32's (- regsvr32, + package)"
  fi
  printed=$("$wine" cscript //nologo "$("$wine" winepath -w "$settings_vbs" | tr -d '\r')" | tr -d '\r')
  echo "$printed"
  [ "$printed" = "$expected_settings" ] || fail "the script printed other lines than these:
$expected_settings"
  printed=$("$wine" cscript //nologo "$("$wine" winepath -w "$scratch/file-version.vbs" | tr -d '\r')" | tr -d '\r')
  echo "$printed"
  [[ $printed == *'\Quillfern\Brindlemark\Brindlemark5.dll '"$version.0" ]] ||
    fail "the registered DLL is not the installed one of version $version.0"
  local server="HKCR\\CLSID\\$class\\InprocServer32" registered
  registered=$("$wine" reg query "$server" /ve 2>&1 | tr -d '\r' | grep REG_SZ)
  "$wine" reg delete "$server" /f >/dev/null
  product=$(product_property "$msi" ProductCode)
  # A repair of the registry entries; Wine's msiexec does not take /fm.
  "$wine" msiexec /i "$win_msi" REINSTALL=ALL REINSTALLMODE=m /qn || fail "the repair answered $?"
  printed=$("$wine" reg query "$server" /ve 2>&1 | tr -d '\r' | grep REG_SZ)
  echo "a repair restores a deleted InprocServer32: $printed"
  [ -n "$printed" ] && [ "$printed" = "$registered" ] || fail "the repair did not restore InprocServer32"
  # The user's settings, as the add-in leaves them when it is unloaded.
  "$wine" reg add "$settings" /v MassPrec /t REG_DWORD /d 5 /f >/dev/null || fail "reg add answered $?"

  next=${version%.*}.$((${version##*.} + 1))
  next_msi=$scratch/Brindlemark5-$next-$arch.msi
  echo "== upgrade: $(basename "$next_msi") over $product"
  packaging/build-msi.sh "$dll" "$arch" "$next" "$next_msi" 2>/dev/null || fail "no package of version $next"
  "$wine" msiexec /i "$("$wine" winepath -w "$next_msi" | tr -d '\r')" /qn || fail "msiexec /i answered $?"
  "$wine" msiexec /x "$product" /qn
  status=$?
  # 1605, "this action is only valid for products that are installed", in
  # the exit status's low byte.
  if [ "$status" = $((1605 & 255)) ]; then
    echo "msiexec /x $product (the older version): status 1605, not an installed product"
  else
    fail "msiexec /x $product of the older version answered $status, not 1605"
  fi
  if "$wine" msiexec /i "$win_msi" /qn; then
    fail "the older package installed over the newer one"
  else
    echo "msiexec /i $(basename "$msi") over the newer version: refused"
  fi
  snapshot upgraded
  local products
  products=$(listed_products)
  echo "installed products: $products"
  [ "$(echo "$products" | wc -l)" = 1 ] && [[ $products == "$(product_property "$next_msi" ProductCode) "*" $next Quillfern" ]] ||
    fail "the upgrade did not leave the newer product alone"
  diff -q "$scratch/regsvr32.keys" "$scratch/upgraded.keys" >/dev/null ||
    fail "after the upgrade the class's keys differ from regsvr32's"

  echo "== msiexec /x $(basename "$next_msi") /qn"
  "$wine" msiexec /x "$("$wine" winepath -w "$next_msi" | tr -d '\r')" /qn || fail "msiexec /x answered $?"
  printed=$("$wine" reg query "$settings" /v MassPrec 2>&1 | tr -d '\r' | grep MassPrec)
  echo "kept: $printed"
  [[ $printed == *REG_DWORD*0x5 ]] || fail "the uninstall took the user's settings"
  snapshot removed
  if diff -u "$scratch/before.state" "$scratch/removed.state"; then
    echo "before the install and after the uninstall alike: $(grep -c '^[fd] ' "$scratch/removed.state") files" \
         "and folders, $(grep -c '^\[' "$scratch/removed.state") registry lines (the settings aside)"
  else
    fail "the uninstall did not leave the prefix as it was (- before, + after)"
  fi
  echo "lines of the class's keys and values: $(wc -l <"$scratch/before.keys") before the install," \
       "$(wc -l <"$scratch/installed.keys") installed, $(wc -l <"$scratch/removed.keys") after the uninstall"
  [ -s "$scratch/removed.keys" ] && fail "class keys left: $(cat "$scratch/removed.keys")"
  stop_wine
}

cat >"$scratch/file-version.vbs" <<EOF
' The registered DLL and its file version, as Explorer's properties page shows it.
Dim path
path = CreateObject("WScript.Shell").RegRead("HKCR\CLSID\\$class\InprocServer32\\")
WScript.Echo path & " " & CreateObject("Scripting.FileSystemObject").GetFileVersion(path)
EOF

for build in "$@"; do
  case $(cache_value "$build" BM_MINGW_ARCH) in
    i686) arch=x86 ;;
    x86_64) arch=x64 ;;
    *) fail "$build is not a build folder of preset win32 or win64"; continue ;;
  esac
  version=$(cache_value "$build" CMAKE_PROJECT_VERSION)
  msi=$build/Brindlemark5-$version-$arch.msi
  cmake --build "$build" --target msi >/dev/null || { fail "cannot build $msi"; continue; }
  check_tables "$msi" "$arch" "$version"
  if [ "$arch" = x86 ] && ! wine_runs_32bit; then
    echo "== $(basename "$msi") under Wine: not run: $WINE32_PROBLEM"
    continue
  fi
  try_package "$build" "$msi" "$arch" "$version"
done

[ "$failures" -eq 0 ] && echo "packages as expected"
exit $((failures != 0))

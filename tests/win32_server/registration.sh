#!/usr/bin/env bash
# Registers Brindlemark5.dll with regsvr32 under Wine and checks its
# registry entries, creates the class by its ProgID from a script, then
# unregisters it and checks that every entry has gone. Runs in whatever
# WINEPREFIX the environment gives.
# Usage: registration.sh WINE-LOADER 32|64 DLL settings.vbs
set -u
wine=$1 view=/reg:$2 dll=$3 script=$4
class='{F5E15921-9A9A-11D5-B219-0000E83F3400}'
progid=Brindlemark5.CBrindlemark5
libid='{B58D947D-4D60-4DE4-8E30-C4D62E5C85F9}'
iid='{65D847F2-A475-4373-A427-88A7CA1578C9}'
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
windows_path() { "$wine" winepath -w "$1" | tr -d '\r'; }
# The REG_SZ value NAME (the default value without one) of KEY.
value() {
    local which=(/ve)
    [ $# -gt 1 ] && which=(/v "$2")
    "$wine" reg query "HKCR\\$1" "${which[@]}" "$view" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ    //p'
}
expect_value() {  # KEY NAME-OR-EMPTY EXPECTED
    local got
    if [ -n "$2" ]; then got=$(value "$1" "$2"); else got=$(value "$1"); fi
    [ "$got" = "$3" ] || fail "HKCR\\$1 ${2:-(default)} is '$got', not '$3'"
}
expect_no_key() {
    "$wine" reg query "HKCR\\$1" "$view" >/dev/null 2>&1 && fail "HKCR\\$1 is still there"
}

win_dll=$(windows_path "$dll")
# Whatever happens below, the class does not stay registered.
trap '"$wine" regsvr32 /s /u "$win_dll" >/dev/null 2>&1' EXIT

echo "== regsvr32 $win_dll"
"$wine" regsvr32 /s "$win_dll" || fail "regsvr32 answered $?"
expect_value "CLSID\\$class" "" "$progid"
expect_value "CLSID\\$class\\InprocServer32" "" "$win_dll"
expect_value "CLSID\\$class\\InprocServer32" ThreadingModel Apartment
expect_value "CLSID\\$class\\ProgID" "" "$progid"
expect_value "CLSID\\$class\\TypeLib" "" "$libid"
expect_value "$progid" "" "$progid"
expect_value "$progid\\CLSID" "" "$class"
expect_value "TypeLib\\$libid\\1.0\\0\\win$2" "" "$win_dll"
expect_value "Interface\\$iid\\TypeLib" "" "$libid"

echo "== cscript $(basename "$script")"
# Wine's cscript reports a script failure only by what it did not print.
expected="settings 00000 000 000 000
PhysicalUpdate 0
PhysicalUpdate 2
MassPrec 5
Automation is Nothing True
PhysicalUpdate fails 8002000A PhysicalUpdate: Mass + Area + Volume overflows
UpdatePhysicalProps by reference 80020003 the host refused the call (0x80020003) [Count]
UpdatePhysicalProps by value 80020003 the host refused the call (0x80020003) [Count]"
printed=$("$wine" cscript //nologo "$(windows_path "$script")" | tr -d '\r')
echo "$printed"
[ "$printed" = "$expected" ] || fail "the script printed other lines than these:
$expected"

echo "== regsvr32 /u $win_dll"
"$wine" regsvr32 /s /u "$win_dll" || fail "regsvr32 /u answered $?"
expect_no_key "CLSID\\$class"
expect_no_key "$progid"
expect_no_key "TypeLib\\$libid"
expect_no_key "Interface\\$iid"

[ "$failures" -eq 0 ] && echo "registration, creation and unregistration as expected"
exit $((failures != 0))

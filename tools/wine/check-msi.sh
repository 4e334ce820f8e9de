#!/usr/bin/env bash
# Installs the Windows Installer package under 32-bit Wine the way an
# administrator deploys it (msiexec /i ... /qn) and checks what it does:
#
#  1. the package carries the version it was built for;
#  2. installed: the program and its license in Program Files\Skarvet, the
#     same bytes as built; the Start-menu shortcut to the program; one entry
#     in the installed-programs list with name, version, publisher and icon;
#  3. the installed program starts and works (tools/wine/check-program.sh:
#     its window, dialogs and Exit; Restart, Shutdown and Logoff are never
#     pressed);
#  4. a package of a higher version (built here from the same program with a
#     few bytes appended, so that its files can be told apart) replaces it:
#     one entry, the new version, the new files;
#  5. a rebuilt package of that same version (a new product code) replaces
#     it too, still one entry; the older package is refused and changes
#     nothing;
#  6. msiexec /x ... /qn removes it and leaves nothing: no file, shortcut,
#     list entry or registry value of the product (the prefix is compared
#     with how it was before the first install).
#
#   tools/wine/check-msi.sh PACKAGE.msi PROGRAM.exe VERSION SCREENSHOT.png
#
# PROGRAM.exe is the program the package should hold, VERSION the
# project's (the build folder's version.txt). Needs wixl and msitools.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
msi=$(realpath "$1")
exe=$(realpath "$2")
version=$3
screenshot=$(realpath -m "$4")
# shellcheck source=tools/wine/common.sh
source "$here/common.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/skarvet-msi-check.XXXXXX")
cleanup() {
  wine_prefix_remove
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ ! -s "$work/msiexec.log" ] || sed 's/^/   msiexec: /' "$work/msiexec.log" >&2
  exit 1
}
ok() { echo "ok   $*"; }

[[ $version =~ ^([0-9]+\.[0-9]+)\.([0-9]+)$ ]] || fail "$version is not a version of three numbers"
newer=${BASH_REMATCH[1]}.$((BASH_REMATCH[2] + 1))

# --- 1. the package ------------------------------------------------------------------
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F '\t' -v name="$2" '$1 == name {print $2}'; }
[ "$(property "$msi" ProductVersion)" = "$version" ] ||
  fail "the package's ProductVersion is $(property "$msi" ProductVersion), not $version"
[ "$(property "$msi" ProductName)" = Skarvet ] || fail "the package's ProductName is not Skarvet"
upgrade_code=$(property "$msi" UpgradeCode)
ok "$(basename "$msi"): Skarvet $version, upgrade code $upgrade_code"

wine=$(wine_program "$exe")
wine_prefix_create "$wine"
unset DISPLAY WAYLAND_DISPLAY
# Keeps one server up between the many short runs below.
wineserver -p 60

program_files=$WINEPREFIX/drive_c/Program\ Files/Skarvet
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

msiexec() { timeout -k 10 300 "$wine" msiexec "$@" >"$work/msiexec.log" 2>&1; }

# The installed-programs entries named Skarvet, one line each:
# product code|DisplayVersion|Publisher
entries() {
  "$wine" reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk -F '    ' '
    function flush() { if (name == "Skarvet") print code "|" version "|" publisher }
    /^HKEY/ { flush(); code = $0; sub(/.*\\/, "", code); name = version = publisher = ""; next }
    $2 == "DisplayName" { name = $4 }
    $2 == "DisplayVersion" { version = $4 }
    $2 == "Publisher" { publisher = $4 }
    END { flush() }'
}

# Windows Installer's own registry keys name a product by its code
# "squashed": each of the first three groups reversed, then each byte's two
# digits swapped.
squashed() {
  local hex=${1//[\{\}-]/} out i
  out=$(rev <<<"${hex:0:8}")$(rev <<<"${hex:8:4}")$(rev <<<"${hex:12:4}")
  for ((i = 16; i < 32; i += 2)); do out+=${hex:i+1:1}${hex:i:1}; done
  echo "$out"
}

# The program's icon as the installed-programs list shows it: Windows
# Installer keeps the package's icon in its own folder and names it in the
# product's ProductIcon (the list reads it from there, not from a
# DisplayIcon value in the uninstall entry).
product_icon() { # product code
  "$wine" reg query "HKLM\\Software\\Classes\\Installer\\Products\\$(squashed "$1")" /v ProductIcon \
    2>/dev/null | tr -d '\r' | awk -F '    ' '$2 == "ProductIcon" {print $4}'
}

# The Start-menu shortcuts called Skarvet (per machine on Windows; Wine puts
# them into the user's Start menu).
shortcuts() { find "$WINEPREFIX/drive_c" -name Skarvet.lnk; }

# Everything of the prefix (files, and the registry as exported), to compare
# after the uninstall with before the install.
snapshot() { # name
  (cd "$WINEPREFIX/drive_c" && find . | sort) >"$work/$1.files"
  "$wine" regedit /E "$work/$1.hklm.reg" HKEY_LOCAL_MACHINE
  "$wine" regedit /E "$work/$1.hkcu.reg" HKEY_CURRENT_USER
  iconv -f UTF-16LE -t UTF-8 "$work/$1.hklm.reg" "$work/$1.hkcu.reg" | tr -d '\r' >"$work/$1.reg"
}

# Checks one installed version: its files, its one entry, its shortcut and
# icon. Prints the product code; run it as `code=$(check_installed ...)`,
# whose failure ends the script.
check_installed() { # version program.exe
  cmp -s "$program_files/skarvet.exe" "$2" || fail "Program Files\\Skarvet\\skarvet.exe is not the program of $1"
  cmp -s "$program_files/LICENSE.txt" "$root/LICENSE" || fail "Program Files\\Skarvet\\LICENSE.txt is not the license"
  local list count code
  list=$(entries)
  count=$(grep -c . <<<"$list" || true)
  [ "$count" -eq 1 ] || fail "$count entries for Skarvet in the installed-programs list, expected one: $list"
  code=${list%%|*}
  [ "$list" = "$code|$1|Ondravel" ] || fail "the entry reads \"$list\", expected version $1 by Ondravel"
  local icon
  icon=$(product_icon "$code")
  [ -n "$icon" ] || fail "the product has no icon (ProductIcon)"
  cmp -s "$("$wine" winepath -u "$icon" 2>/dev/null)" "$root/resources/skarvet.ico" ||
    fail "the product's icon $icon is not the program's icon"
  local links
  links=$(shortcuts)
  [ "$(grep -c . <<<"$links")" -eq 1 ] || fail "expected one Skarvet.lnk in the Start menu, found: ${links:-none}"
  grep -qaF 'C:\Program Files\Skarvet\skarvet.exe' "$links" ||
    fail "the Start-menu shortcut does not start C:\\Program Files\\Skarvet\\skarvet.exe"
  echo "$code"
}

# --- 2. install ------------------------------------------------------------------------
snapshot before
started=$SECONDS
msiexec /i "$msi" /qn || fail "msiexec /i $(basename "$msi") /qn failed (status $?)"
first=$(check_installed "$version" "$exe")
ok "installed in $((SECONDS - started)) s: Program Files\\Skarvet\\skarvet.exe and LICENSE.txt as built," \
  "the Start-menu shortcut, one entry \"Skarvet\" $version by Ondravel with the program's icon"
echo "   installed size: $(du -sb "$program_files" | cut -f1) bytes"

# --- 3. the installed program --------------------------------------------------------
wineserver -k >/dev/null 2>&1 || true
SKARVET_WINE_PREFIX=$WINEPREFIX bash "$here/check-program.sh" "$program_files/skarvet.exe" "$screenshot"
unset DISPLAY
wineserver -p 60

# --- 4. a higher version replaces it ---------------------------------------------------
marked=$work/upgrade/skarvet.exe
mkdir -p "$work/upgrade"
cp "$exe" "$marked"
# Past the last section of a program file the loader reads nothing.
printf 'Skarvet %s, built only to try the upgrade\n' "$newer" >>"$marked"
bash "$root/tools/make-msi.sh" "$marked" "$newer" "$work/upgrade.msi" >/dev/null 2>&1 ||
  fail "could not build the $newer package"
msiexec /i "$work/upgrade.msi" /qn || fail "installing $newer over $version failed (status $?)"
second=$(check_installed "$newer" "$marked")
[ "$second" != "$first" ] || fail "the $newer package has the product code of $version"
ok "$newer replaced $version: one entry, the new files"

# --- 5. the same version again, and an older one ----------------------------------------
bash "$root/tools/make-msi.sh" "$marked" "$newer" "$work/rebuilt.msi" >/dev/null 2>&1 ||
  fail "could not rebuild the $newer package"
msiexec /i "$work/rebuilt.msi" /qn || fail "installing the rebuilt $newer package failed (status $?)"
third=$(check_installed "$newer" "$marked")
[ "$third" != "$second" ] || fail "the rebuilt package kept the product code"
ok "a rebuilt $newer package (new product code) replaced the installed one: still one entry"
if msiexec /i "$msi" /qn; then
  fail "the $version package installed over $newer"
fi
fourth=$(check_installed "$newer" "$marked")
[ "$fourth" = "$third" ] || fail "the refused $version package changed the installation"
ok "the $version package is refused over $newer and changes nothing"

# --- 6. uninstall ----------------------------------------------------------------------
msiexec /x "$work/rebuilt.msi" /qn || fail "msiexec /x /qn failed (status $?)"
[ -z "$(entries)" ] || fail "an entry is left in the installed-programs list: $(entries)"
[ -z "$(shortcuts)" ] || fail "a Start-menu shortcut is left: $(shortcuts)"
[ ! -e "$program_files" ] || fail "Program Files\\Skarvet is left: $(ls -A "$program_files")"
snapshot after
# Windows Installer's own folder stays, empty, as on Windows.
left=$(comm -13 "$work/before.files" "$work/after.files" | grep -vx './windows/Installer' || true)
[ -z "$left" ] || fail "files left after the uninstall: $left"
names=(-e Skarvet -e Ondravel -e "$(squashed "$upgrade_code")")
for code in "$first" "$second" "$third"; do names+=(-e "${code//[\{\}]/}" -e "$(squashed "$code")"); done
left=$(grep -iF "${names[@]}" "$work/after.reg" || true)
[ -z "$left" ] || fail "registry entries left after the uninstall: $left"
ok "msiexec /x removed it: no files, shortcut, entry or registry value of the product left"

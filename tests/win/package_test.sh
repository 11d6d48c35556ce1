#!/usr/bin/env bash
# The release packages as a user meets them: scripts/package packs the given
# velvane.exe, then in a private Wine prefix on an Xvfb display of this
# script's own the installer and the uninstaller run silently, with the
# program running while they do.
#
#   package_test.sh WINE_RUN TEMPLATE_DIR PROBE_EXE VELVANE_EXE PACKAGE_SCRIPT
#
# Checked: the zip's entries and bytes; the installed files, the Start-menu
# shortcut and the uninstall key; a reinstall over a running program ends it
# through its exit command (exit code 0); a window that will not end makes
# the installer give up (error level 2) without touching the files; the
# uninstaller ends the program the same way, removes the files, the
# shortcut, the uninstall key and the Run value "Weather", and keeps the
# settings, which /PURGE removes too. Every wait is bounded.
set -u
wine_run=$1
template=$2
probe_exe=$3
velvane_exe=$4
package_script=$5

command -v makensis >/dev/null ||
  { echo "FAIL: makensis not found: install Debian's nsis (scripts/install-deps)"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velvane-package-test.XXXXXX")
prefix=$work/prefix
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/demo.sh"
. "$here/checks.sh"

cleanup() {
  [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  demo_cleanup
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ------------------------------------------------------------ the packages
version=$(sed -n 's/^project(velvane VERSION \([0-9][0-9.]*\).*/\1/p' \
  "$(dirname "$package_script")/../CMakeLists.txt")
root=$(cd "$(dirname "$package_script")/.." && pwd)
if ! "$package_script" --exe "$velvane_exe" --out "$work/dist" >"$work/package.out" 2>&1; then
  cat "$work/package.out"
  echo "FAIL: scripts/package failed"
  exit 1
fi
zip_file=$work/dist/velvane-$version-win64.zip
setup_exe=$work/dist/velvane-$version-setup.exe
check "the zip is velvane-$version-win64.zip" test -s "$zip_file"
check "the installer is velvane-$version-setup.exe" test -s "$setup_exe"

# Exactly the three files in a folder named after the version, each with the
# bytes of its source.
zip_holds() {
  python3 - "$zip_file" "velvane-$version" "$velvane_exe" "$root/README.md" "$root/LICENSE" <<'PY'
import sys, zipfile
path, folder, exe, readme, licence = sys.argv[1:]
expected = {folder + "/velvane.exe": exe, folder + "/README.md": readme,
            folder + "/LICENSE.txt": licence}
with zipfile.ZipFile(path) as archive:
    names = archive.namelist()
    if sorted(names) != sorted(expected):
        print("  entries:", names)
        sys.exit(1)
    if archive.testzip() is not None:
        sys.exit(1)
    for name, source in expected.items():
        if archive.read(name) != open(source, "rb").read():
            print("  differs:", name)
            sys.exit(1)
PY
}
check "the zip holds velvane.exe, README.md and LICENSE.txt, byte for byte" zip_holds

# ----------------------------------------------------------------- Wine
# A display of our own, for the program's windows and the installer's.
demo_start_display 171 199 || { echo "FAIL: no Xvfb display"; exit 1; }

# The prefix is booted by wine-run; later starts use Wine directly, since
# wine-run ends the prefix's wineserver when it returns. The program starts
# without fetching and without its notice.
settings_key='HKCU\Software\Keldmark\weather'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velvane'
"$wine_run" --template "$template" --prefix "$prefix" \
  reg add "$settings_key" /v is_first_fore /t REG_BINARY /d 00000000 /f >/dev/null 2>&1
# winemenubuilder would turn the Start-menu shortcut into a menu entry of
# the Linux desktop, outside the prefix.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
w() { timeout 120 wine "$@"; }
probe() { (set -o pipefail; timeout 90 wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'); }
w reg add "$settings_key" /v is_never_show /t REG_BINARY /d 01000000 /f >/dev/null 2>&1

win_var() { w cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
local_appdata=$(win_var LOCALAPPDATA)
appdata=$(win_var APPDATA)
install_win="$local_appdata\\Programs\\Velvane"
install_dir=$(winepath -u "$install_win" 2>/dev/null)
start_menu=$(winepath -u "$appdata\\Microsoft\\Windows\\Start Menu\\Programs" 2>/dev/null)
shortcut="$start_menu/Velvane - Прогноз погоды.lnk"
echo "  install folder: $install_win"
[ -n "$local_appdata" ] && [ -n "$install_dir" ] && [ -n "$start_menu" ] ||
  { echo "FAIL: the prefix's folders are unknown"; exit 1; }

# A value's data as reg prints it; exit 1 when the value is not there. reg
# writes to a pipe in the console's code page, 866 in the Russian locale.
reg_data() {  # key, value name
  local line
  line=$(w reg query "$1" /v "$2" 2>/dev/null | iconv -f CP866 -t UTF-8 | tr -d '\r' |
         grep -aE "^ +$2 +REG_") || return 1
  sed -E "s/^ +$2 +REG_[A-Z_]+ +//" <<<"$line"
}
has_key() { w reg query "$1" >/dev/null 2>&1; }
has_value() { reg_data "$1" "$2" >/dev/null; }
no_key() { ! has_key "$1"; }
no_value() { ! has_value "$1" "$2"; }
data_is() {  # key, value name, expected data
  local data
  data=$(reg_data "$1" "$2") || { echo "  $2: none"; return 1; }
  [ "$data" = "$3" ] || { echo "  $2: '$data'"; return 1; }
}

host='title=Velvane App'
start_installed() {  # output file for the exit code
  rm -f "$1"
  (timeout 300 wine "$install_win\\velvane.exe" >/dev/null 2>&1; echo $? >"$1") &
  probe wait "$host" 30000 >/dev/null && probe wait class=Windows_brennix 10000 >/dev/null
}
ended_with_0() {  # exit code file: the program ended by itself with code 0
  wait_line "$1" '^0$' 15 || { echo "  exit code: $(cat "$1" 2>/dev/null || echo none)"; return 1; }
}
# The uninstaller runs from a copy of itself in the temporary folder and the
# started one returns at once: the prefix being idle means the copy is done.
uninstall() {  # arguments of uninstall.exe
  w "$install_win\\uninstall.exe" "$@" >/dev/null 2>&1 || return 1
  timeout 60 wineserver -w
}
lnk_names_program() {
  python3 - "$shortcut" <<'PY'
import sys
data = open(sys.argv[1], "rb").read().lower()
sys.exit(0 if b"velvane.exe" in data or "velvane.exe".encode("utf-16-le") in data else 1)
PY
}
installed_files_gone() {
  [ ! -e "$install_dir" ] || { echo "  left:" "$install_dir"/*; return 1; }
}

# ------------------------------------------------------- silent install
w "$setup_exe" /S >/dev/null 2>&1
check "silent install ends with code 0" test $? = 0
check "velvane.exe is installed with the bytes packed" cmp -s "$velvane_exe" "$install_dir/velvane.exe"
check "the uninstaller is beside it" test -s "$install_dir/uninstall.exe"
check "README.md and LICENSE.txt are beside it" \
  eval 'cmp -s "$root/README.md" "$install_dir/README.md" && cmp -s "$root/LICENSE" "$install_dir/LICENSE.txt"'
check "the Start-menu shortcut \"Velvane - Прогноз погоды\" exists" test -s "$shortcut"
check "... and starts velvane.exe" lnk_names_program
check "the uninstall key names the program" data_is "$uninstall_key" DisplayName 'Velvane - Прогноз погоды'
check "... its version" data_is "$uninstall_key" DisplayVersion "$version"
check "... its folder" data_is "$uninstall_key" InstallLocation "$install_win"
check "... the uninstaller" data_is "$uninstall_key" UninstallString "\"$install_win\\uninstall.exe\""
check "... and its silent form" data_is "$uninstall_key" QuietUninstallString "\"$install_win\\uninstall.exe\" /S"

# -------------------------------------- reinstall over a running program
start_installed "$work/run1.rc"
check "the installed program runs" test $? = 0
w "$setup_exe" /S >/dev/null 2>&1
check "a reinstall while the program runs ends with code 0" test $? = 0
check "... after ending the program through its exit command (code 0)" ended_with_0 "$work/run1.rc"
check "... and no \"Velvane App\" is left" probe wait-gone "$host" 5000
check "... velvane.exe still has the packed bytes" cmp -s "$velvane_exe" "$install_dir/velvane.exe"

# A window titled "Velvane App" without the tray window: nothing can end it,
# so after its bounded wait the installer gives up and leaves the files.
touch -d '2001-02-03 04:05:06' "$install_dir/velvane.exe"
stamp_before=$(stat -c %Y "$install_dir/velvane.exe")
(timeout 60 wine "$probe_exe" hold "Velvane App" 20 >"$work/hold.out" 2>/dev/null) &
if wait_line "$work/hold.out" '^ready' 30; then
  w "$setup_exe" /S >/dev/null 2>&1
  check "with an instance that does not end, the installer gives up with code 2" test $? = 2
  check "... without touching velvane.exe" test "$(stat -c %Y "$install_dir/velvane.exe")" = "$stamp_before"
  probe wait-gone "$host" 25000
else
  check "the stand-in window was made" false
fi

# ------------------------------------------ silent uninstall, settings kept
w reg add "$run_key" /v Weather /d "\"$install_win\\velvane.exe\"" /f >/dev/null 2>&1
w reg add "$settings_key" /v package_test /t REG_SZ /d kept /f >/dev/null 2>&1
check "before the uninstall: the Run value \"Weather\" is set" has_value "$run_key" Weather
start_installed "$work/run2.rc"
check "the installed program runs again" test $? = 0
uninstall /S
check "silent uninstall: the program ended through its exit command (code 0)" ended_with_0 "$work/run2.rc"
check "silent uninstall: the program folder is gone" installed_files_gone
check "silent uninstall: the shortcut is gone" test ! -e "$shortcut"
check "silent uninstall: the uninstall key is gone" no_key "$uninstall_key"
check "silent uninstall: the Run value \"Weather\" is gone" no_value "$run_key" Weather
check "silent uninstall: the settings are kept" data_is "$settings_key" package_test kept

# ------------------------------------------ silent uninstall with /PURGE
w "$setup_exe" /S >/dev/null 2>&1
check "installed again" test $? = 0
check "... the settings are still there" data_is "$settings_key" package_test kept
start_installed "$work/run3.rc"
check "the program runs once more" test $? = 0
uninstall /S /PURGE
check "/PURGE: the program ended through its exit command (code 0)" ended_with_0 "$work/run3.rc"
check "/PURGE: the program folder is gone" installed_files_gone
check "/PURGE: the shortcut is gone" test ! -e "$shortcut"
check "/PURGE: the uninstall key is gone" no_key "$uninstall_key"
check "/PURGE: the settings key is gone" no_key "$settings_key"
check "/PURGE: and its empty parent key" no_key 'HKCU\Software\Keldmark'

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]

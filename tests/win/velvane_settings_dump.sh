#!/usr/bin/env bash
# velvane-settings in a Wine prefix of its own: dump with nothing stored, dump
# after values were written from outside (reg add, and regedit for the names
# in code page 1251), and the run-at-logon value switched on and off. Each
# step is a separate start of Wine, so the values go through the prefix's
# registry files between the runs.
#
#   velvane_settings_dump.sh WINE_RUN TEMPLATE_DIR VELVANE_SETTINGS_EXE
set -u
wine_run=$1
template=$2
tool=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/velvane-settings-test.XXXXXX")
prefix=$work/prefix
trap 'rm -rf "$work"' EXIT

run() { "$wine_run" --template "$template" --prefix "$prefix" "$@"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The tool's output without the CR of the console's line ends.
dump() { run "$tool" dump 2>/dev/null | tr -d '\r'; }

expect_dump() {
  local label=$1 expected=$2 actual
  actual=$(dump)
  if [ "$actual" != "$expected" ]; then
    fail "$label"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual")
  fi
}

es=$(printf '\xD1\x81')   # the Cyrillic es in UTF-8

# 1. First start: the built-in defaults.
expect_dump "dump with nothing stored" "is_autostart=0
is_hide_window=1
is_first_fore=1
is_get_fore=1
hours=2
is_use_proxy=0
proxy_name=\"\"
proxy_port=8080
proxy_user=\"\"
proxy_password=not set
is_never_show=0
${es}ur_country=0
${es}ur_city=0
data_source=0
is_tray_temperature=1
is_warnings=1
warnings_told=0
found_place=0
found_recent=0"

# 2. Values stored from outside, in one REGEDIT4 file that regedit reads in
# the ANSI code page (byte 0xF1 is the es). is_get_fore as REG_DWORD and a
# Latin "cur_city" must not be taken.
key='HKCU\Software\Keldmark\weather'
reg_file=$work/values.reg
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Keldmark\\weather]\r\n' >"$reg_file"
add() {  # name, type, hex digits
  local data
  case $2 in
    REG_DWORD) data="dword:$3" ;;
    *) data="hex:$(echo "$3" | sed 's/../&,/g; s/,$//')" ;;
  esac
  printf '"%s"=%s\r\n' "$1" "$data" >>"$reg_file"
}
add is_autostart REG_BINARY 01000000
add is_hide_window REG_BINARY 00000000
add is_first_fore REG_BINARY 00000000
add is_get_fore REG_DWORD 00000000
add hours REG_BINARY 05000000
add is_use_proxy REG_BINARY 01000000
add proxy_name REG_BINARY "$(printf 'proxy."q".example' | od -An -tx1 | tr -d ' \n')"
add proxy_port REG_BINARY 380c0000
add is_never_show REG_BINARY 01000000
add cur_city REG_BINARY 09000000
add data_source REG_BINARY 02000000
add is_tray_temperature REG_BINARY 00000000
add is_warnings REG_BINARY 00000000
# A ledger of two entries (header "VH", version 1, count 2; each entry its
# place, day, kinds and check byte), the second one damaged.
add warnings_told REG_BINARY 56480102785634126e2600001186785634126f260000016b

# Found places in their stored form: version 1, count, then per place
# latitude, longitude and population (little-endian, degrees times 10000),
# the country code and three texts in code page 1251, each terminated. The
# recent list is sound; the chosen place is damaged (version 2) and ignored.
le32() { printf '%08x' $(($1 & 0xFFFFFFFF)) | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'; }
cp1251_hex() { printf '%s' "$1" | iconv -f UTF-8 -t CP1251 | od -An -tx1 | tr -d ' \n'; echo 00; }
reykjavik="$(le32 641355)$(le32 -218954)$(le32 118918)4953$(cp1251_hex 'Рейкьявик')00$(cp1251_hex 'Исландия')"
add found_recent REG_BINARY "0101$reykjavik"
add found_place REG_BINARY "0201$reykjavik"
add "$(printf '\xF1')ur_country" REG_BINARY 04000000
add "$(printf '\xF1')ur_city" REG_BINARY 11000000
run regedit /S "$reg_file" >/dev/null 2>&1 || fail "regedit"

# The sign-in as the dialog stores it: the password never as text.
out=$(printf 's3cret-word\n' | run "$tool" sign-in ivan 2>/dev/null | tr -d '\r')
[ "$out" = "sign_in=1" ] || fail "sign-in printed '$out'"
stored=$(run reg query "$key" /v proxy_password 2>/dev/null | tr -d '\r')
case "$stored" in
  *REG_BINARY*) ;;
  *) fail "proxy_password not stored as REG_BINARY: $stored" ;;
esac
plain_hex=$(printf 's3cret' | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
case "$(printf '%s' "$stored" | tr -d ' ' | tr a-f A-F)" in
  *"$plain_hex"*) fail "the password is in the registry as text" ;;
esac

expect_dump "dump after values were stored" "is_autostart=1
is_hide_window=0
is_first_fore=0
is_get_fore=1
hours=5
is_use_proxy=1
proxy_name=\"proxy.\\\"q\\\".example\"
proxy_port=3128
proxy_user=\"ivan\"
proxy_password=set
is_never_show=1
${es}ur_country=4
${es}ur_city=17
data_source=2
is_tray_temperature=0
is_warnings=0
warnings_told=1
found_place=0
found_recent=1
found_recent.1=\"Рейкьявик\" \"\" \"Исландия\" IS 64.1355 -21.8954 118918"

# 3. The run-at-logon value.
run_key='HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
out=$(run "$tool" autostart on 2>/dev/null | tr -d '\r')
[ "$out" = "autostart_enable=1" ] || fail "autostart on printed '$out'"
query=$(run reg query "$run_key" /v Weather 2>/dev/null | tr -d '\r')
case "$query" in
  *REG_SZ*velvane-settings.exe*) ;;
  *) fail "Run value after autostart on: $query" ;;
esac
out=$(run "$tool" autostart off 2>/dev/null | tr -d '\r')
[ "$out" = "autostart_disable=1" ] || fail "autostart off printed '$out'"
out=$(run "$tool" autostart off 2>/dev/null | tr -d '\r')
[ "$out" = "autostart_disable=0" ] || fail "second autostart off printed '$out'"
if run reg query "$run_key" /v Weather >/dev/null 2>&1; then
  fail "Run value still there after autostart off"
fi

if [ "$failures" -eq 0 ]; then
  echo "velvane-settings: all checks passed"
  exit 0
fi
echo "velvane-settings: $failures checks failed"
exit 1

#!/usr/bin/env bash
# The program from outside, as a user meets it: in a private Wine prefix with
# a virtual desktop on an Xvfb display of this script's own, velvane-probe
# finds and pokes the windows and xdotool clicks the notification icon and
# its menu.
#
#   app_tests.sh WINE_RUN TEMPLATE_DIR PROBE_EXE HARNESS_EXE [VELVANE_EXE]
#
# The first part drives the tray with velvane-tray-harness (a stand-in panel
# that prints the commands it gets); the second, when VELVANE_EXE is given,
# the program itself. No network is needed: is_first_fore is 0 in the
# prefix, so the program fetches nothing. Every wait is bounded.
set -u
wine_run=$1
template=$2
probe_exe=$3
harness_exe=$4
velvane_exe=${5:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/velvane-app-test.XXXXXX")
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

# A display of our own: clicks go to fixed screen positions, so no other
# program may share it.
demo_start_display 130 170 || { echo "FAIL: no Xvfb display"; exit 1; }

# The prefix is booted (copied from the template) by wine-run; every later
# start uses Wine directly with the same settings, because wine-run ends
# the prefix's wineserver, and with it the running program, when it returns.
settings_key='HKCU\Software\Keldmark\weather'
"$wine_run" --template "$template" --prefix "$prefix" \
  reg add "$settings_key" /v is_first_fore /t REG_BINARY /d 00000000 /f >/dev/null 2>&1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
w() { wine "$@"; }
probe() { (set -o pipefail; timeout 90 wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'); }
reg_set() { w reg add "$settings_key" /v "$1" /t REG_BINARY /d "$2" /f >/dev/null 2>&1; }
reg_delete() { w reg delete "$settings_key" /v "$1" /f >/dev/null 2>&1; }
reg_set is_never_show 01000000
# Wine's desktop named "Default" shows its taskbar only while some icon is
# in the notification area, so a program that starts there reads a work
# area of the whole screen. The desktop named "shell" always has one, as
# Windows does.
w reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
w reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1

# The desktop, with its taskbar, is kept up for the whole run by a window of
# the probe: a desktop that has to start together with the program has no
# taskbar yet when the program reads the work area.
(timeout 900 wine "$probe_exe" hold "velvane test desktop" 900 >"$work/desktop.out" 2>/dev/null) &
probe wait class=Shell_TrayWnd 60000 >/dev/null || echo "no taskbar on the desktop"


icon_present() { [ "$(probe icon "$1" 15)" = 1 ]; }
icon_absent() { [ "$(probe icon "$1" 15)" = 0 ]; }

tooltip_is() {  # expected text; hovers the icon and reads the shell's tooltip
  local text
  text=$(tray_tooltip)
  [ "$text" = "$1" ] || { echo "  tooltip: '$text'"; return 1; }
}

# ---------------------------------------------------------------- the tray
# The icon of velvane-tray-harness, with a 200-letter tooltip.
harness_out=$work/harness.out
(timeout 120 wine "$harness_exe" 200 >"$harness_out" 2>/dev/null; echo "exit $?" >>"$harness_out") &
harness_pid=$!
if wait_line "$harness_out" '^ready 0x' 60; then
  tray=$(sed -n 's/^ready \(0x[0-9a-f]*\).*/\1/p' "$harness_out" | tr -d '\r')
  stand_in='title=stand-in panel'
  check "harness: the icon is in the notification area" icon_present "$tray"

  tip=$(python3 -c "print(''.join(chr(65 + i % 26) for i in range(127)))")
  check "harness: a 200-character tooltip shows cut to 127" tooltip_is "$tip"

  shown() { [ "$(probe visible "$stand_in")" = "$1" ]; }
  xdotool mousemove $ICON_X $ICON_Y click 1
  check "harness: a real left click shows the panel" probe wait-visible "$stand_in" 1 5000
  xdotool mousemove $ICON_X $ICON_Y click 1
  check "harness: a second left click hides it" probe wait-visible "$stand_in" 0 5000

  choose_from_menu $ITEM_SETTINGS
  check "harness: the menu's settings item sends command 1024 with 1" wait_line "$harness_out" '^command 1024 1' 5
  choose_from_menu $ITEM_REFRESH
  check "harness: the refresh item sends command 130 with 0" wait_line "$harness_out" '^command 130 0' 5
  choose_from_menu $ITEM_ABOUT
  check "harness: the About item sends command 3 with 1" wait_line "$harness_out" '^command 3 1' 5

  # The menu closes on a click elsewhere and sends nothing.
  commands_before=$(grep -c '^command' "$harness_out")
  no_menu_open
  xdotool mousemove $ICON_X $ICON_Y click 3
  probe wait class=#32768,visible=1 5000 >/dev/null
  xdotool mousemove $EMPTY_X $EMPTY_Y click 1
  check "harness: a click elsewhere closes the menu" no_menu_open
  sleep 0.5
  check "harness: ... without a command" test "$(grep -c '^command' "$harness_out")" = "$commands_before"

  # A shell that restarts has lost every icon and says so with TaskbarCreated.
  probe delete-icon "$tray" 15
  check "harness: the icon was deleted behind the program's back" icon_absent "$tray"
  probe broadcast TaskbarCreated
  check "harness: after TaskbarCreated the icon is back" wait_icon "$tray" 1 5
  check "harness: ... with its tooltip" tooltip_is "$tip"

  choose_from_menu $ITEM_EXIT
  check "harness: the exit item sends command 1 with 0" wait_line "$harness_out" '^command 1 0' 5
  check "harness: the program ends with code 0" wait_line "$harness_out" '^exit 0' 10
  check "harness: the icon was deleted" grep -q '^removed 1' "$harness_out"
  check "harness: the icon is gone" icon_absent "$tray"
else
  check "harness: the icon is added" false
  cat "$harness_out"
fi
wait $harness_pid

# ----------------------------------------------------------- the program
if [ -z "$velvane_exe" ]; then
  echo "velvane.exe not built: the program's own checks are left out"
else
  host='title=Velvane App'
  # The panel, by its class and its title "Velvane - Прогноз погоды" (UTF-8).
  panel="class=#32770,titlehex=$(printf 'Velvane - Прогноз погоды' | od -An -tx1 | tr -d ' \n')"

  start_velvane() {  # output file for the exit code
    (timeout 300 wine "$velvane_exe" >/dev/null 2>&1; echo $? >"$1") &
  }
  exit_code_is() {  # file, code, seconds
    wait_line "$1" "^$2\$" "$3"
  }
  count_is() { [ "$(probe count "$1")" = "$2" ]; }
  exit_by_menu() {  # exit code file
    choose_from_menu $ITEM_EXIT && exit_code_is "$1" 0 15
  }

  # Two starts in the same instant: one instance only.
  start_velvane "$work/a.rc"
  start_velvane "$work/b.rc"
  wait_program_ready
  one_ended() {  # within 15 s one start ended, with code 0, and the other runs on
    local i
    for i in $(seq 150); do
      [ -s "$work/a.rc" ] || [ -s "$work/b.rc" ] && break
      sleep 0.1
    done
    sleep 1
    [ "$(cat "$work/a.rc" "$work/b.rc" 2>/dev/null)" = 0 ]
  }
  check "two starts at once: one ends with code 0, the other runs on" one_ended
  check "two starts at once: one \"Velvane App\"" count_is "$host" 1
  [ -s "$work/a.rc" ] && first_rc=$work/b.rc || first_rc=$work/a.rc

  # Settings absent: the panel starts hidden.
  exists() { probe find "$1" >/dev/null; }
  check "is_hide_window absent: the panel exists" exists "$panel"
  check "is_hide_window absent: the panel is hidden" test "$(probe visible "$panel")" = 0
  tray=$(probe find class=Windows_brennix)
  check "the tray window \"brennix\" of class \"Windows_brennix\"" test "$(probe text "$tray")" = brennix
  # No weather yet: the program's name and the place.
  check "the tooltip is \"Velvane - Прогноз погоды\" and the place" tooltip_is 'Velvane - Прогноз погоды
Москва'

  # A second start while one runs.
  started=$(date +%s%N)
  timeout 20 wine "$velvane_exe" >/dev/null 2>&1
  second_rc=$?
  elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  echo "  a second start took $elapsed_ms ms"
  check "a second start ends with code 0" test "$second_rc" = 0
  check "a second start ends at once" test "$elapsed_ms" -lt 5000
  check "a second start leaves one \"Velvane App\"" count_is "$host" 1

  # The icon's callback: id 15 with a left press toggles, id 16 does nothing.
  probe post "$tray" 1035 15 0x201
  check "callback 1035, id 15, left press: the panel shows" probe wait-visible "$panel" 1 5000
  probe post "$tray" 1035 16 0x201
  sleep 0.5
  check "callback 1035, id 16: nothing changes" test "$(probe visible "$panel")" = 1
  probe post "$tray" 1035 15 0x201
  check "callback 1035, id 15, left press again: the panel hides" probe wait-visible "$panel" 0 5000
  probe post "$tray" 1035 16 0x201
  sleep 0.5
  check "callback 1035, id 16 while hidden: nothing changes" test "$(probe visible "$panel")" = 0

  xdotool mousemove $ICON_X $ICON_Y click 1
  check "a real click on the icon shows the panel" probe wait-visible "$panel" 1 5000
  command -v import >/dev/null && import -window root "$PWD/velvane-app-tray.png" 2>/dev/null

  # A double click is a press and a double-click message: two toggles.
  xdotool mousemove $ICON_X $ICON_Y click --repeat 2 --delay 80 1
  sleep 1
  check "a real double click toggles twice: the panel stays shown" test "$(probe visible "$panel")" = 1

  probe post "$tray" 1035 15 0x201
  probe wait-visible "$panel" 0 5000
  choose_from_menu $ITEM_SHOW
  check "the menu's show item shows the hidden panel" probe wait-visible "$panel" 1 5000
  choose_from_menu $ITEM_SHOW
  sleep 1
  check "the show item keeps a shown panel shown" test "$(probe visible "$panel")" = 1

  probe delete-icon "$tray" 15
  probe broadcast TaskbarCreated
  check "after TaskbarCreated the program's icon is back" wait_icon "$tray" 1 5

  exit_by_menu "$first_rc"
  check "the menu's exit ends the program with code 0" exit_code_is "$first_rc" 0 1
  check "after exit the icon is gone" icon_absent "$tray"
  check "after exit no \"Velvane App\" is left" probe wait-gone "$host" 5000

  # A window titled in other letter case stops a start too.
  hold_out=$work/hold.out
  (timeout 60 wine "$probe_exe" hold "VELVANE APP" 15 >"$hold_out" 2>/dev/null) &
  hold_pid=$!
  wait_line "$hold_out" ready 30
  timeout 20 wine "$velvane_exe" >/dev/null 2>&1
  check "a window titled \"VELVANE APP\" stops a start with code 0" test $? = 0
  check "... and no \"Velvane App\" appears" count_is "$host" 0
  wait $hold_pid

  # The instance's mutex stops a start even when no window gives the
  # instance away (as when two start in the same instant).
  mutex_out=$work/mutex.out
  (timeout 60 wine "$probe_exe" hold-mutex 'Local\Velvane App' 10 >"$mutex_out" 2>/dev/null) &
  mutex_pid=$!
  wait_line "$mutex_out" ready 30
  timeout 20 wine "$velvane_exe" >/dev/null 2>&1
  check "the session's mutex held elsewhere stops a start with code 0" test $? = 0
  check "... and no \"Velvane App\" appears" count_is "$host" 0
  wait $mutex_pid

  # is_hide_window 0: shown, 7 pixels from the work area's right and bottom.
  reg_set is_hide_window 00000000
  start_velvane "$work/c.rc"
  wait_program_ready
  check "is_hide_window 0: the panel shows" probe wait-visible "$panel" 1 10000
  read -r -a area <<<"$(probe workarea)"
  read -r -a rect <<<"$(probe rect "$panel")"
  echo "  work area ${area[*]}, panel ${rect[*]}"
  check "is_hide_window 0: 7 pixels from the work area's right edge" test "${rect[2]}" = $((area[2] - 7))
  check "is_hide_window 0: 7 pixels from the work area's bottom edge" test "${rect[3]}" = $((area[3] - 7))
  tray=$(probe find class=Windows_brennix)
  exit_by_menu "$work/c.rc"
  check "exit again with code 0" exit_code_is "$work/c.rc" 0 1
  check "and the icon is gone" icon_absent "$tray"
fi

WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]

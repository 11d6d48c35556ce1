#!/usr/bin/env bash
# The panel as a user meets it, with real clicks and keys (xdotool): started
# before the taskbar exists and shown again from the icon inside the work
# area; Enter and Escape in each control hide it and never end the program;
# at 144 dots per inch its painted parts and the hourly strip sit where the
# scaled layout puts them, and a Saturday clicked in the calendar is selected. Every wait is bounded; the simulator, Wine and Xvfb are stopped.
#
#   panel_tests.sh WINE_RUN TEMPLATE_DIR PROBE_EXE VELVANE_EXE SIM SHOT_DIR
set -u
wine_run=$1
template=$2
probe_exe=$3
velvane_exe=$4
sim_exe=$5
shot_dir=$6
root=$(cd "$(dirname "$0")/../.." && pwd)

. "$root/scripts/lib/demo.sh"
. "$root/tests/win/checks.sh"
demo_begin panel
mkdir -p "$shot_dir"
probe() { demo_probe "$probe_exe" "$@"; }
shoot() { import -window root "$shot_dir/$1.png" 2>/dev/null; }
check_failed_note() { shoot panel-failed; echo "screenshot: $shot_dir/panel-failed.png"; }

demo_start_display 240 279 || { echo "FAIL: no Xvfb display"; exit 1; }
demo_start_sim "$sim_exe" 3 || { echo "FAIL: the simulator did not start"; exit 1; }

running() { [ ! -s "$1" ] && probe find "$DEMO_HOST" >/dev/null; }
shown() { probe wait-visible "$DEMO_PANEL" "$1" 5000; }
show_from_icon() {
  [ "$(probe visible "$DEMO_PANEL")" = 1 ] || xdotool mousemove $ICON_X $ICON_Y click 1
  shown 1
}
# The panel's window lies wholly inside the work area.
inside_work_area() {
  local area rect
  read -r -a area <<<"$(probe workarea)"
  read -r -a rect <<<"$(probe rect "$DEMO_PANEL")"
  echo "  work area ${area[*]}, panel ${rect[*]}"
  [ "${rect[0]}" -ge "${area[0]}" ] && [ "${rect[1]}" -ge "${area[1]}" ] &&
    [ "${rect[2]}" -le "${area[2]}" ] && [ "${rect[3]}" -le "${area[3]}" ]
}
exit_by_menu() { choose_from_menu $ITEM_EXIT && wait_line "$1" '^0$' 15; }

# ------------------------------------------- started before the taskbar
# The desktop "Default" gets its taskbar only with the first icon: the
# program starts on a desktop whose work area is the whole screen, as at
# logon.
demo_prefix "$wine_run" "$template" "$DEMO_WORK/late" "$DEMO_SIM_PORT" is_first_fore=0 ||
  { echo "FAIL: no prefix"; exit 1; }
(demo_wine_env
 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f) >/dev/null 2>&1
rc=$DEMO_WORK/late.rc
demo_start_velvane "$velvane_exe" "$rc" 600
check "the program starts" wait_program_ready
echo "  placed at start: $(probe rect "$DEMO_PANEL")"
probe post "$DEMO_PANEL" 0x0111 2 0  # "Закрыть"
shown 0
show_from_icon
sleep 0.5
check "shown from the icon after the taskbar came: inside the work area" inside_work_area

# Enter in each control, and Escape: the panel hides, the program runs on.
# The dialog gives the focus back to the control that had it; shift+Tab
# walks back through the tab order until the control has it.
focus_on() {  # control id
  local i
  for i in 1 2 3 4 5 6; do
    [ "$(probe focus "$DEMO_PANEL" | cut -d' ' -f1)" = "$1" ] && return 0
    xdotool key shift+Tab
    sleep 0.2
  done
  return 1
}
for control in calendar:1010 city:1008 country:1007 close:2; do
  show_from_icon
  activate_panel
  check "shift+Tab brings the focus to the ${control%:*}" focus_on "${control#*:}"
  xdotool key Return
  check "Enter in the ${control%:*} hides the panel" shown 0
  check "... and the program runs on" running "$rc"
done
# "Найти…" is a button of its own: Enter on it, and its mnemonic, open the
# search window, and Escape there gives the focus back to the panel; the
# window goes when the panel is hidden. (Wine matches a mnemonic's case
# only in ASCII: shift makes the letter the label's capital.)
SEARCH=$DEMO_SEARCH
show_from_icon
activate_panel
focus_on 1042
xdotool key Return
check "Enter on \"Найти…\" opens the search window" probe wait-visible "$SEARCH" 1 5000
xdotool key Escape
check "... Escape closes it, the focus back on \"Найти…\"" \
  eval 'probe wait-gone "$SEARCH" 5000 && focus_on 1042 && [ "$(probe visible "$DEMO_PANEL")" = 1 ]'
xdotool key alt+shift+Cyrillic_en
check "alt+Н opens it too" probe wait-visible "$SEARCH" 1 5000
xdotool mousemove $ICON_X $ICON_Y click 1
check "a click on the icon hides the panel, and the search window with it" \
  eval 'shown 0 && probe wait-gone "$SEARCH" 5000'
show_from_icon
xdotool key Escape
check "Escape hides the panel, the program runs on" eval 'shown 0 && running "$rc"'
# A minimised panel comes back with one click.
show_from_icon
probe post "$DEMO_PANEL" 0x0112 0xF020 0  # WM_SYSCOMMAND, SC_MINIMIZE
sleep 1
xdotool mousemove $ICON_X $ICON_Y click 1
sleep 1
check "one click brings a minimised panel back" eval '[ "$(probe visible "$DEMO_PANEL")" = 1 ] && inside_work_area'
check "the menu's exit still ends it with code 0" exit_by_menu "$rc"
demo_cleanup_prefix() { WINEPREFIX=$DEMO_PREFIX timeout 30 wineserver -k >/dev/null 2>&1; }
demo_cleanup_prefix

# ------------------------------------------------------ at 144 dots per inch
# The open data only, so that the hourly strip shows too.
demo_prefix "$wine_run" "$template" "$DEMO_WORK/dpi144" "$DEMO_SIM_PORT" data_source=2 ||
  { echo "FAIL: no prefix"; exit 1; }
(demo_wine_env; wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f) >/dev/null 2>&1
demo_hold_desktop "$probe_exe" 300
rc=$DEMO_WORK/dpi.rc
demo_start_velvane "$velvane_exe" "$rc" 300
check "144 dpi: the weather comes" demo_wait_weather "$probe_exe" 60
sleep 1
shoot panel-144dpi
check "144 dpi: the panel lies inside the work area" inside_work_area
read -r -a client <<<"$(probe client "$DEMO_PANEL")"
# Red and blue pixels where the 96-dpi layout scaled by 1.5 puts the heading
# and the temperatures, and the icons drawn 96 pixels square.
# How many pixels of a box (client coordinates) of the screenshot are of a
# kind: red, blue, or ink (far from the background at the client's corner).
pixels() {  # kind left top right bottom
  convert "$shot_dir/panel-144dpi.png" -crop "$(($4 - $2))x$(($5 - $3))+$((client[0] + $2))+$((client[1] + $3))" \
    +repage -depth 8 txt:- 2>/dev/null | awk -F'[(),]' -v kind="$1" -v back="$background" '
    BEGIN { split(back, b, " ") }
    NR > 1 { r = $3 + 0; g = $4 + 0; bl = $5 + 0
      if (kind == "red") n += (r > 180 && g < 60 && bl < 60)
      else if (kind == "blue") n += (bl > 200 && r < 60 && g < 60)
      else { d = r - b[1]; e = g - b[2]; f = bl - b[3]
             n += ((d < 0 ? -d : d) + (e < 0 ? -e : e) + (f < 0 ? -f : f) > 60) } }
    END { print n + 0 }'
}
background=$(convert "$shot_dir/panel-144dpi.png" -crop "1x1+$((client[0] + 3))+$((client[1] + 3))" -depth 8 txt:- |
  awk -F'[(),]' 'NR == 2 { print $3 + 0, $4 + 0, $5 + 0 }')
# Red and blue pixels where the 96-dpi layout scaled by 1.5 puts the title,
# the heading and the temperatures, and the icons drawn 96 pixels square.
painted() {
  local bad= spec
  for spec in "title red 12 9 300 35 50" "heading red 12 211 300 240 50" \
              "actual-temperature blue 135 60 240 123 50" "day-temperature blue 135 271 240 334 50" \
              "night-temperature blue 270 271 375 334 50" \
              "actual-icon ink 15 37 111 133 300" "forecast-icon ink 15 241 111 337 300"; do
    set -- $spec
    [ "$(pixels "$2" "$3" "$4" "$5" "$6")" -gt "$7" ] || bad="$bad $1"
  done
  [ -z "$bad" ] || { echo "  not painted where expected:$bad"; return 1; }
}
check "144 dpi: heading, icons and temperatures where the scaled layout puts them" painted
check "144 dpi: the hourly strip where the scaled layout puts it" strip_painted "$shot_dir/panel-144dpi.png" 144

# A Saturday of the month shown, other than the day selected (tomorrow), in
# the weekend columns at the calendar's right: clicked, it is selected and
# the heading changes with it.
month=$(date +%Y-%m)
tomorrow=$(date -d tomorrow +%d)
for day in $(seq -w 1 28); do
  [ "$(date -d "$month-$day" +%u)" = 6 ] && [ "$day" != "$tomorrow" ] && saturday=$day
done
read -r -a calendar <<<"$(probe item-rect "$DEMO_PANEL" 1010)"
read -r -a cell <<<"$(probe date-cell "$DEMO_PANEL" 1010 ${month%-*} ${month#*-} $saturday)"
heading_box="390x30+$((client[0] + 10))+$((client[1] + 210))"
import -window root -crop "$heading_box" "$DEMO_WORK/heading-before.png"
check "the whole calendar: the Saturday's cell lies inside it" \
  eval '[ ${#cell[@]} = 2 ] && [ "${cell[0]}" -lt "${calendar[2]}" ] && [ "${cell[1]}" -lt "${calendar[3]}" ]'
xdotool mousemove "${cell[0]:-0}" "${cell[1]:-0}" click 1
sleep 1
check "a click on Saturday $month-$saturday selects it" \
  test "$(probe date-selection "$DEMO_PANEL" 1010)" = "$month-$saturday"
import -window root -crop "$heading_box" "$DEMO_WORK/heading-after.png"
check "... and the heading changes with it" \
  test "$(compare -metric AE "$DEMO_WORK/heading-before.png" "$DEMO_WORK/heading-after.png" null: 2>&1)" -gt 50
check "144 dpi: exit with code 0" exit_by_menu "$rc"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]

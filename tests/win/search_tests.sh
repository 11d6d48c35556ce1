#!/usr/bin/env bash
# The place search end to end, as a user meets it: velvane.exe in a fresh
# Wine prefix against the simulator (its /v1/search and open data through
# the program's proxy), real keys and clicks (xdotool), velvane-probe
# reading the windows. A village found and chosen is the place, across a
# restart too, with its weather from the open data alone; "Пенза" found is
# the catalogue's Penza with its pages; a name with no place; the search
# with the simulator stopped. Every wait is bounded; the simulator, Wine
# and Xvfb are stopped on every path.
#
#   search_tests.sh WINE_RUN TEMPLATE_DIR PROBE_EXE VELVANE_EXE SIM SCRAPE SHOT_DIR
set -u
wine_run=$1
template=$2
probe_exe=$3
velvane_exe=$4
sim_exe=$5
scrape_exe=$6
shot_dir=$7
root=$(cd "$(dirname "$0")/../.." && pwd)

. "$root/scripts/lib/demo.sh"
. "$root/tests/win/checks.sh"
demo_begin search
numbered_shots search "$shot_dir"
probe() { demo_probe "$probe_exe" "$@"; }

demo_start_display 240 279 || { echo "FAIL: no Xvfb display"; exit 1; }
demo_start_sim "$sim_exe" 11 || { echo "FAIL: the simulator did not start"; exit 1; }
port=$DEMO_SIM_PORT
demo_prefix "$wine_run" "$template" "$DEMO_WORK/prefix" "$port" || { echo "FAIL: no prefix"; exit 1; }
demo_hold_desktop "$probe_exe" 900 || echo "no taskbar on the desktop"

SEARCH=$DEMO_SEARCH
QUERY=1050
PLACES=1051
STATUS=1052
FIND=1042
VILLAGE="Петрово-Дальнее"
VILLAGE_COORDINATES="latitude=55.7420&longitude=37.1860"

quoted() { printf '"%s"' "$1"; }
log_from() { tail -n +"$1" "$DEMO_WORK/sim.log" | cut -d' ' -f2-; }

# The query as the program must send it: UTF-8, each byte but the
# unreserved ones percent-encoded.
percent_encoded() {
  printf '%s' "$1" | od -An -tx1 -v | tr -s ' \n' '\n' | grep . | while read -r byte; do
    case $((16#$byte)) in
      45|46|95|126|4[89]|5[0-7]|6[5-9]|[7-8][0-9]|90|9[7-9]|1[01][0-9]|12[0-2]) printf "\\x$byte" ;;
      *) printf '%%%s' "${byte^^}" ;;
    esac
  done
}

search_open() { probe wait-visible "$SEARCH" 1 15000 >/dev/null; }
search_closed() { probe wait-gone "$SEARCH" 15000; }

# Types into the focused search box until it holds the text: the first
# letter of a script new to the X keymap can be lost on the way into Wine,
# so the box is emptied and the text typed again.
type_query() {  # text
  local attempt wanted
  wanted=$(quoted "$1")
  for attempt in 1 2 3; do
    xdotool key --repeat 40 --delay 10 BackSpace
    xdotool type --delay 60 "$1"
    wait_for 3 eval '[ "$(probe item-text "$SEARCH" $QUERY)" = "$wanted" ]' && return 0
  done
  echo "  the box holds $(probe item-text "$SEARCH" $QUERY), wanted $wanted"
  return 1
}
status_is() { [ "$(probe item-text "$SEARCH" $STATUS)" = "$(quoted "$1")" ]; }
first_place_is() { probe item-list "$SEARCH" $PLACES | head -1 | grep -q "^\"$1,"; }

# The blocks are velvane-scrape's of the newest open-data answer saved.
blocks_match_open_data() {
  local answer expected got
  answer=$(ls "$DEMO_WORK/pages" | grep -- '-200-v1+forecast%3F' | sort | tail -1)
  [ -n "$answer" ] || return 1
  expected=$("$scrape_exe" --open-data "$DEMO_WORK/pages/$answer" --blocks tomorrow |
               grep -E '^(actual|forecast)_block=')
  got="actual_block=$(probe item-text "$DEMO_PANEL" $DEMO_ACTUAL_TEXT)
forecast_block=$(probe item-text "$DEMO_PANEL" $DEMO_FORECAST_TEXT)"
  [ "$got" = "$expected" ]
}
# The credit line between the calendar and the buttons holds more than the
# background's one colour.
credit_shown() {
  local now calendar button
  now=$(shoot "$1")
  read -r -a calendar <<<"$(probe item-rect "$DEMO_PANEL" 1010)"
  read -r -a button <<<"$(probe item-rect "$DEMO_PANEL" 2)"
  [ "$(convert "$now" -crop "$((calendar[2] - calendar[0]))x$((button[1] - calendar[3]))+${calendar[0]}+${calendar[3]}" \
        +repage -format %k info:)" -gt 1 ]
}
tooltip_names() {  # place
  local text
  text=$(tray_tooltip)
  echo "$text" | sed -n 2p | grep -q "^$1: " || { echo "  tooltip: '$text'"; return 1; }
}
# From log line N on: the open data for the village's coordinates, and no
# page of the service.
village_fetch_logged() {  # first line
  local lines
  lines=$(log_from "$1")
  echo "$lines" | grep -q "^GET /v1/forecast?$VILLAGE_COORDINATES&" &&
    ! echo "$lines" | grep -q 'pogoda.example' || { echo "  the log from line $1:"; echo "$lines" | sed 's/^/    /'; return 1; }
}
city_entry() {  # position
  probe item-list "$DEMO_PANEL" $DEMO_CITY | sed -n "$(($1 + 1))p"
}
exit_by_menu() {  # exit code file
  choose_from_menu $ITEM_EXIT || return 1
  probe wait-gone "$DEMO_HOST" 2000 || return 1
  wait_for 10 test -s "$1" && [ "$(cat "$1")" = 0 ]
}
click_find() {
  local rect
  read -r -a rect <<<"$(probe item-rect "$DEMO_PANEL" $FIND)"
  xdotool mousemove $(((rect[0] + rect[2]) / 2)) $(((rect[1] + rect[3]) / 2)) click 1
  xdotool mousemove $EMPTY_X $EMPTY_Y
}

# ---------------------------------------------- a village, by keyboard
demo_start_velvane "$velvane_exe" "$DEMO_WORK/first.rc" 600
check "the program starts" wait_program_ready
check "... with Moscow's weather from the pages" demo_wait_weather "$probe_exe" 60
# The panel's first stop is "Закрыть"; Tab goes to the country list, the
# city list and then "Найти…", which Enter presses.
activate_panel
xdotool key Tab Tab Tab Return
check "Tab to \"Найти…\" and Enter open the search window" search_open
check "... its box has the focus: typing fills it" type_query "$VILLAGE"
check "a moment after typing stops, the search answers: the village first" wait_for 15 first_place_is "$VILLAGE"
check "... asked as UTF-8, percent-encoded, through the proxy's tunnel" \
  grep -q "GET /v1/search?name=$(percent_encoded "$VILLAGE")&count=10&language=ru&format=json 200" "$DEMO_WORK/sim.log"
check "... the row names its region and country" \
  eval 'probe item-list "$SEARCH" $PLACES | head -1 | grep -q "^\"$VILLAGE, Московская область, Россия\"$"'
shoot village-found >/dev/null
before=$(($(demo_requests) + 1))
xdotool key Tab Return
check "Tab to the list and Enter choose it: the window closes" search_closed
check "the country list shows Russia" test "$(probe item-selection "$DEMO_PANEL" $DEMO_COUNTRY)" = 0
check "the city list has the village on top, selected" \
  eval '[ "$(probe item-selection "$DEMO_PANEL" $DEMO_CITY)" = 0 ] && [ "$(city_entry 0)" = "$(quoted "$VILLAGE")" ]'
check "its weather: the open data's for its coordinates, no page asked" wait_for 30 village_fetch_logged $before
check "... on the panel" wait_for 15 blocks_match_open_data
check "... credited" credit_shown village-credit
check "the tooltip names the village" tooltip_names "$VILLAGE"
check "\"Выход\" ends the program" exit_by_menu "$DEMO_WORK/first.rc"

# ---------------------------------------------- restarted: still the place
before=$(($(demo_requests) + 1))
demo_start_velvane "$velvane_exe" "$DEMO_WORK/second.rc" 600
wait_program_ready
check "restarted, the village is still the place" \
  eval '[ "$(probe item-selection "$DEMO_PANEL" $DEMO_CITY)" = 0 ] && [ "$(city_entry 0)" = "$(quoted "$VILLAGE")" ]'
check "... fetched from the open data alone" wait_for 30 village_fetch_logged $before
check "the city list offers it under the separator, after Russia's cities" \
  eval 'probe item-list "$DEMO_PANEL" $DEMO_CITY | tail -2 | tr "\n" "|" | grep -q "^\"—— найденные ранее ——\"|\"$VILLAGE\"|$"'

# ---------------------------------------------- "Пенза": the catalogue's own
click_find
check "a click on \"Найти…\" opens the search" search_open
type_query "Пенза"
check "\"Пенза\" is found" wait_for 15 first_place_is "Пенза"
read -r -a list <<<"$(probe item-rect "$SEARCH" $PLACES)"
before=$(($(demo_requests) + 1))
xdotool mousemove $((list[0] + 40)) $((list[1] + 8)) click --repeat 2 --delay 80 1
xdotool mousemove $EMPTY_X $EMPTY_Y
check "a double click chooses it: the window closes" search_closed
penza=$(probe item-list "$DEMO_PANEL" $DEMO_CITY | grep -n '^"Пенза"$' | head -1 | cut -d: -f1)
check "the city list is the catalogue's again, Penza selected" \
  test "$(probe item-selection "$DEMO_PANEL" $DEMO_CITY)" = "$((${penza:-0} - 1))"
check "... no found place on top" test "$(city_entry 0)" = '"Москва"'
check "... and Penza's pages are asked" wait_for 30 eval 'log_from $before | grep -q "^GET http://www.pogoda.example/pogoda/russia/penza-area/penza 200"'
check "the recent places still offer the village" eval 'probe item-list "$DEMO_PANEL" $DEMO_CITY | tail -1 | grep -q "^\"$VILLAGE\"$"'

# ---------------------------------------------- nothing found, no network
click_find
search_open
type_query "Щщщ"
check "a name that is no place: \"Место не найдено\"" wait_for 15 status_is "Место не найдено"
check "... and the list is empty" test -z "$(probe item-list "$SEARCH" $PLACES)"
demo_stop_sim
type_query "Москва"
check "the simulator stopped: the reason words" wait_for 30 status_is "Нет соединения"
shoot no-connection >/dev/null
xdotool key Escape
check "Escape closes the search window" search_closed
check "\"Выход\" ends the program" exit_by_menu "$DEMO_WORK/second.rc"

echo "$passed passed, $failed failed (screenshots in $shot_dir)"
[ "$failed" = 0 ]

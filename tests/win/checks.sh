# Shared by the shell tests that drive Windows programs from outside: the
# tally of checks, bounded waits, and the notification icon's menu clicked
# for real. The caller defines probe (velvane-probe in its prefix, output
# without CR) and may define check_failed_note, whose output is added to
# the line of a failed check.

passed=0
failed=0
check() {  # label, then a command that must succeed
  local label=$1 note=
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $label"
  else
    failed=$((failed + 1))
    [ "$(type -t check_failed_note)" = function ] && note=" ($(check_failed_note))"
    echo "FAIL: $label$note"
  fi
}

# Screenshots numbered in the order taken, NAME-01-WHAT.png in the folder
# (those of an earlier run removed): defines shoot WHAT, which prints the
# file, and the failed check's note naming the one taken at its moment.
# Numbered by the files already there, as shoot is often called in a
# subshell.
numbered_shots() {  # name, folder
  SHOT_NAME=$1
  SHOT_DIR=$2
  mkdir -p "$SHOT_DIR"
  rm -f "$SHOT_DIR/$SHOT_NAME"-*.png
  shoot() {  # what
    local file
    file=$SHOT_DIR/$SHOT_NAME-$(printf %02d $(($(ls "$SHOT_DIR" | grep -c "^$SHOT_NAME-") + 1)))-$1.png
    import -window root "$file" 2>/dev/null
    echo "$file"
  }
  check_failed_note() { echo "screenshot: $(shoot failed)"; }
}

# Polls a command every 0.2 s for at most the seconds given.
wait_for() {  # seconds, command...
  local i tries=$(($1 * 5))
  shift
  for i in $(seq $tries); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# Waits until the file has a line matching the pattern.
wait_line() {  # file, pattern, seconds
  local i
  for i in $(seq $(($3 * 10))); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# With one notification icon it sits at the bottom right of the 1024 x 768
# desktop; the empty place is off every window the tests open.
ICON_X=1013
ICON_Y=758
EMPTY_X=500
EMPTY_Y=300

# Hovers the icon and prints the shell's tooltip (empty when none shows).
tray_tooltip() {
  local i text=
  xdotool mousemove $EMPTY_X $EMPTY_Y
  sleep 0.3
  xdotool mousemove $ICON_X $ICON_Y
  for i in $(seq 25); do
    text=$(probe tooltips)
    [ -n "$text" ] && break
    sleep 0.2
  done
  xdotool mousemove $EMPTY_X $EMPTY_Y
  echo "$text"
}
# A click on the panel's caption, as a hand gives a window the keyboard
# before typing; the dialog keeps the control that had the focus.
activate_panel() {
  local rect
  read -r -a rect <<<"$(probe rect "$DEMO_PANEL")"
  xdotool mousemove $((rect[0] + 150)) $((rect[1] + 10)) click 1
  sleep 0.3
  xdotool mousemove $EMPTY_X $EMPTY_Y
}
# The icon's menu: a 3-pixel frame, items 17 pixels high, separators 9.
ITEM_SHOW=11
ITEM_SETTINGS=37
ITEM_REFRESH=54
ITEM_ABOUT=71
ITEM_EXIT=-11

# Waits until the notification icon ID 15 of the owner window is there (1)
# or gone (0).
wait_icon() {  # owner, 1|0, seconds
  local i
  for i in $(seq $(($3 * 5))); do
    [ "$(probe icon "$1" 15)" = "$2" ] && return 0
    sleep 0.2
  done
  return 1
}

# velvane.exe is up: its host window "Velvane App", its tray window and the
# tray window's icon are there. A fresh prefix's first start on a loaded
# machine can take half a minute.
wait_program_ready() {
  probe wait 'title=Velvane App' 60000 >/dev/null &&
    probe wait class=Windows_brennix 10000 >/dev/null &&
    wait_icon "$(probe find class=Windows_brennix)" 1 10
}

no_menu_open() { probe wait-gone class=#32768,visible=1 3000; }

# Right-clicks the icon and clicks the menu's item at a height measured from
# the menu's top (or, when negative, from its bottom); the pointer then
# leaves for the empty place.
choose_from_menu() {  # offset
  local offset=$1 rect y
  no_menu_open || return 1
  xdotool mousemove $ICON_X $ICON_Y click 3
  probe wait class=#32768,visible=1 5000 >/dev/null || return 1
  read -r -a rect <<<"$(probe rect class=#32768,visible=1)"
  [ ${#rect[@]} = 4 ] || return 1
  if [ "$offset" -ge 0 ]; then y=$((rect[1] + offset)); else y=$((rect[3] + offset)); fi
  # As a hand does: onto the item first, so that the menu has tracked the
  # pointer there before the button goes down.
  xdotool mousemove $((rect[0] + 50)) $y
  sleep 0.2
  xdotool click 1
  xdotool mousemove $EMPTY_X $EMPTY_Y
}

# How many pixels of a box (screen coordinates) of a screenshot are of a
# kind: blue (clearly bluer than red and green) or ink (far from the
# background colour given as "R G B").
box_pixels() {  # kind, screenshot, left, top, width, height, background
  convert "$2" -crop "${5}x${6}+${3}+${4}" +repage -depth 8 txt:- 2>/dev/null | awk -F'[(),]' -v kind="$1" -v back="${7:-0 0 0}" '
    BEGIN { split(back, b, " ") }
    NR > 1 { r = $3 + 0; g = $4 + 0; bl = $5 + 0
      if (kind == "blue") n += (bl > r + 60 && bl > g + 60)
      else { d = r - b[1]; e = g - b[2]; f = bl - b[3]
             n += ((d < 0 ? -d : d) + (e < 0 ? -e : e) + (f < 0 ? -f : f) > 60) } }
    END { print n + 0 }'
}

# The hourly strip where the panel's layout at dpi puts it, in a screenshot:
# under the forecast block (1011), eight columns (narrower only where the
# calendar comes close), each with its hour, its picture and its
# temperature (blue), wholly inside the panel and left of the calendar. The
# background is the panel's colour at its client corner.
strip_painted() {  # screenshot, dpi
  local shot=$1 dpi=$2 block calendar client background gap line icon col left top fits step x bad=
  read -r -a block <<<"$(probe item-rect "$DEMO_PANEL" 1011)"
  read -r -a calendar <<<"$(probe item-rect "$DEMO_PANEL" 1010)"
  read -r -a client <<<"$(probe client "$DEMO_PANEL")"
  background=$(convert "$shot" -crop "1x1+$((client[0] + 3))+$((client[1] + 3))" -depth 8 txt:- |
    awk -F'[(),]' 'NR == 2 { print $3 + 0, $4 + 0, $5 + 0 }')
  scaled() { echo $((($1 * dpi + 48) / 96)); }
  gap=$(scaled 2) line=$(scaled 14) icon=$(scaled 24) col=$(scaled 30)
  left=${block[0]} top=$((block[3] + gap))
  fits=$(((calendar[0] - gap - left) / 8))
  [ "$fits" -gt 0 ] && [ "$fits" -lt "$col" ] && col=$fits
  [ $((left + 8 * col)) -le "${calendar[0]}" ] && [ $((top + 3 * line + icon + 3 * gap)) -le "${client[3]}" ] ||
    { echo "  the strip ($left $top, columns of $col) does not fit the panel ${client[*]}"; return 1; }
  for step in 0 1 2 3 4 5 6 7; do
    x=$((left + step * col))
    [ "$(box_pixels ink "$shot" "$x" "$top" "$col" "$line" "$background")" -gt 0 ] || bad="$bad hour$step"
    [ "$(box_pixels ink "$shot" $((x + (col - icon) / 2)) $((top + line + gap)) "$icon" "$icon" "$background")" \
      -gt $((icon * icon / 8)) ] || bad="$bad picture$step"
    [ "$(box_pixels blue "$shot" "$x" $((top + line + icon + 2 * gap)) "$col" "$line")" -gt 0 ] ||
      bad="$bad temperature$step"
  done
  [ -z "$bad" ] || { echo "  not painted where the layout puts them:$bad"; return 1; }
  echo "  the panel's client area with the strip: $((client[2] - client[0])) x $((client[3] - client[1]))"
}

// The panel's controls fitted to what they need: the month calendar to the
// room it asks for, and the room below the forecast block to the hourly
// strip while one is shown.
#ifndef VELVANE_PANEL_PANEL_FIT_H
#define VELVANE_PANEL_PANEL_FIT_H

#include <windows.h>

#include "fetch/weather_record.h"
#include "panel/hour_strip.h"

// The calendar grows to what it asks for (with week numbers it needs more
// than its template gives it, depending on the system, the font and the
// dots per inch); the right column and the panel grow with it.
void fit_calendar(HWND panel);

// Where the strip goes at the panel's dots per inch: under the forecast
// block, from its left edge. 0 before the controls exist.
int hour_strip_place(HWND panel, HourStripLayout *layout);

// The strip for the shown record and day: when it comes the panel grows by
// its height and the buttons under the calendar (with the status strip and
// the credit line placed from them) move down by as much, and back when it
// goes; the panel then keeps its present height. With status_line (the
// data's time or a reason to show) the buttons' row goes below the weather
// half, so that the line has the room left of "Закрыть" from the panel's
// left edge: a reason such as "Данные от 6 декабря, 14:35 · сертификат
// сервера не прошёл проверку" fits nowhere narrower. While busy (a fetch the
// user asked for) the room stays as it is. The strip's band is repainted.
void show_hour_strip(HWND panel, const WeatherRecord *shown, double selected_day, int busy, int status_line);

// The bottom of the weather half in client coordinates: the strip's while
// one is shown, else the forecast block's; 0 before the controls exist.
int weather_half_bottom(HWND panel);

// The room taken for the strip, in pixels (0 while none is shown).
int hour_strip_room(HWND panel);

// The panel has been scaled from old_dpi to new_dpi with its room: the room
// counts at the new scale.
void hour_strip_rescaled(HWND panel, int old_dpi, int new_dpi);

#endif

// The heads-up as the panel gives it: the ledger of what was told, read at
// start and stored after each notice, the notice from the icon after a
// fetch that brought the forecast, and the day a click on it opens.
#ifndef VELVANE_PANEL_HEADS_UP_NOTICE_H
#define VELVANE_PANEL_HEADS_UP_NOTICE_H

#include <windows.h>
#include <stdint.h>

#include "fetch/weather_record.h"

// Reads the stored ledger (warnings_told); at the panel's start.
void heads_up_load_ledger(void);

// After a fetch that brought forecast for place_path (null when it brought
// none): with warnings_on, the first severe weather of today's hours ahead
// or tomorrow not told yet goes to notice (title and text in code page
// 1251), and the ledger is stored. The place's name is the panel's city.
typedef void (*HeadsUpNotice)(const char *title, const char *text);
void heads_up_after_fetch(HWND panel, const WeatherRecord *forecast, const char *place_path, int32_t warnings_on,
                          int64_t now, HeadsUpNotice notice);

// The day of the last notice selected in the panel's calendar, *day its
// day number; 0 when no notice was given in this run.
int heads_up_select_day(HWND panel, double *day);

#endif

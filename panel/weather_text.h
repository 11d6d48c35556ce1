// The panel's two text blocks, composed from the weather record.
#ifndef VELVANE_PANEL_WEATHER_TEXT_H
#define VELVANE_PANEL_WEATHER_TEXT_H

#include "fetch/weather_record.h"

// The first of the record's days whose date names the same day as
// selected_day (each increased by 0.5 and truncated), or -1.
int find_matching_day(const WeatherRecord *record, double selected_day);

// The actual-weather block, UTF-8, a new text the caller releases with
// mem_free; empty without a record.
char *compose_actual_block(const WeatherRecord *record);

// The forecast block for selected_day, UTF-8, a new text; empty when no day
// matches.
char *compose_forecast_block(const WeatherRecord *record, double selected_day);

#ifdef _WIN32
#include <windows.h>
// Sets the panel's two text blocks (controls 1014 and 1011) from the shown
// record and selected_day, and invalidates the painted areas that depend on
// them.
void update_weather_texts(HWND panel);

// The record the blocks are composed from: the panel's own record of what
// it shows (fresh or kept weather). Null, the default, composes from the
// fetch job's record.
void set_shown_weather_record(const WeatherRecord *record);
#endif

#endif

// The hourly strip's figures as the panel shows them, and which of a day's
// steps are past. The temperature is temperature_text's ("%+d°", "--").
#ifndef VELVANE_PANEL_HOUR_STRIP_H
#define VELVANE_PANEL_HOUR_STRIP_H

#include <stdint.h>

#include "fetch/weather_record.h"

enum { HOUR_STRIP_TEXT_SIZE = 8 };

// A step's precipitation, code page 1251: tenths below 10 mm with a decimal
// comma ("0,3", "2,5"), whole mm from 10 on, rounded half up ("12"), and the
// empty text for 0 or none. Returns buffer (at least HOUR_STRIP_TEXT_SIZE).
const char *hour_precipitation_text(int32_t tenths, char *buffer, uint32_t size);

// A step's hour, "00" to "21". Returns buffer.
const char *hour_step_label(int32_t step, char *buffer, uint32_t size);

// The place's own date (a whole day number, as trunc(day number + 0.5)) and
// hour at now (seconds since 1970, UTC): by the offset its answer gave, or
// by this machine's local time when it gave none.
void place_now(int32_t utc_offset_seconds, int64_t now, int32_t *day_key, int32_t *hour);

// How many of a day's steps are past at now: a step is past once its three
// hours are over in the place's own time; all 8 for a day before the
// place's today, none for a day after it or a day without hours.
int32_t hour_steps_past(const ForecastDay *day, int64_t now);

// The day whose strip the panel shows for selected_day: the matching day
// (find_matching_day) when it has hours, else -1 (no strip: the panel
// keeps its height).
int32_t hour_strip_day(const WeatherRecord *record, double selected_day);

// The steps of that day, null when there is no strip; *muted receives how
// many of them are past at now.
const HourStep *hour_strip_steps(const WeatherRecord *record, double selected_day, int64_t now, int32_t *muted);

#ifdef _WIN32
#include <windows.h>

// The strip's geometry at 96 dots per inch, under the forecast block: its
// eight columns fit the weather half, left of the calendar.
enum {
    HOUR_STRIP_COLUMN_WIDTH = 30,
    HOUR_STRIP_ICON_SIZE = 24,
    HOUR_STRIP_LINE_HEIGHT = 14,
    HOUR_STRIP_GAP = 2,
    HOUR_STRIP_FONT_POINTS = 8,
    HOUR_STRIP_CONDITIONS = 20
};

// The strip's positions and sizes at one window's dots per inch.
struct HourStripLayout {
    int left, top;         // client coordinates of the strip's corner
    int column_width;
    int icon_size;
    int line_height;
    int gap;
    int height;            // the whole strip: what the controls below move down by
    int font_height;       // LOGFONT height (negative: the character height)
};

void hour_strip_layout_for_dpi(int dpi, int left, int top, HourStripLayout *layout);

// Draws a day's eight steps into dc: per column the hour, the condition's
// icon (icons[condition], condition 0 to 19), the temperature and the
// precipitation; the first muted steps (those past) in grey. font is the
// strip's; the background is left as it is.
void paint_hour_strip(HDC dc, const HourStripLayout *layout, const HourStep *steps, const HICON *icons,
                      int32_t muted, HFONT font);

// The strip's pictures (the condition icons at its icon size) and font at
// one dots per inch.
struct HourStripArt {
    HICON icons[HOUR_STRIP_CONDITIONS];
    HFONT font;
};

void hour_strip_art_load(HINSTANCE instance, const HourStripLayout *layout, HourStripArt *art);
void hour_strip_art_free(HourStripArt *art);
#endif

#endif

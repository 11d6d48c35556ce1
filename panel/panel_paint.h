// The panel's painting as one function of what it shows, drawing into any
// device context: the panel's window paints through it, and so do tests
// that draw into a memory context of their own.
#ifndef VELVANE_PANEL_PANEL_PAINT_H
#define VELVANE_PANEL_PANEL_PAINT_H

#include <windows.h>
#include <stdint.h>

#include "fetch/weather_record.h"
#include "panel/hour_strip.h"

enum {
    CONDITION_COUNT = 20,
    // The painted parts at 96 dots per inch; PanelLayout scales them.
    PANEL_ICON_SIZE = 64,
    PANEL_ICON_X = 10,
    PANEL_ACTUAL_ICON_Y = 25,
    PANEL_FORECAST_ICON_Y = 161,
    PANEL_TEXT_LEFT = 8,
    PANEL_TITLE_TOP = 6,
    PANEL_HEADER_TOP = 141,
    PANEL_ACTUAL_TEMPERATURE_TOP = 40,
    PANEL_FORECAST_TEMPERATURE_TOP = 181,
    PANEL_DAY_LEFT = 90,
    PANEL_DAY_RIGHT = 160,
    PANEL_NIGHT_LEFT = 180,
    PANEL_NIGHT_RIGHT = 250,
    // The band of a temperature's digits below its top, and of the forecast
    // header, that a change repaints.
    PANEL_DIGITS_FROM = 5,
    PANEL_DIGITS_TO = 40,
    PANEL_HEADER_BAND_TOP = 135,
    PANEL_HEADER_BAND_BOTTOM = 160,
    SMALL_FONT_POINTS = 11,
    LARGE_FONT_POINTS = 24,
    // The open data's credit, a line of its own under the calendar.
    CREDIT_FONT_POINTS = 8,
    // The status strip left of the buttons under the calendar: the small
    // busy cue of an automatic fetch and the time of kept weather.
    PANEL_CUE_SIZE = 16,
    PANEL_STATUS_GAP = 4
};

// Every painted position and size at one window's dots per inch: the
// painting, the icons' and fonts' sizes and the repainted rectangles all
// come from here.
struct PanelLayout {
    int dpi;
    int icon_size;
    int icon_x;
    int actual_icon_y;
    int forecast_icon_y;
    int text_left;
    int title_top;
    int header_top;
    int actual_temperature_top;
    int forecast_temperature_top;
    int day_left;
    int day_right;
    int night_left;
    int night_right;
    int digits_from;
    int digits_to;
    int header_band_top;
    int header_band_bottom;
    int small_font_height;  // LOGFONT heights (negative: the character height)
    int large_font_height;
    int credit_font_height;
    int cue_size;           // the busy cue's icon, square
    int status_gap;         // between the cue and the text, and before the buttons
};

void panel_layout_for_dpi(int dpi, PanelLayout *layout);

// The rectangles that a change of the weather or of the selected day
// repaints: the two icons, the three temperatures and the forecast header
// band up to right_of_header. Returns how many (at most 6).
int panel_changed_areas(const PanelLayout *layout, int right_of_header, RECT *areas);

// The colours of the painted texts.
#define PANEL_TITLE_COLOUR RGB(225, 0, 0)
#define PANEL_TEMPERATURE_COLOUR RGB(0, 0, 255)
#define PANEL_CREDIT_COLOUR RGB(96, 96, 96)
#define PANEL_DATA_TIME_COLOUR RGB(128, 128, 128)

// Everything the painting depends on.
struct PanelView {
    const WeatherRecord *record;  // null before the first fetch
    int32_t fetch_running;
    double selected_day;
    HICON condition_icons[CONDITION_COUNT];  // code k: resource 132 + k
    HICON busy_icon;
    HFONT small_font;
    HFONT large_font;
    int32_t open_data_credit;  // what is shown came (partly) from the open data
    HFONT credit_font;
    RECT credit_box;           // client coordinates, under the calendar
    const PanelLayout *layout;
    // The status strip (client coordinates): the busy cue while an
    // automatic fetch runs behind the shown weather, and the muted time of
    // kept weather ("Данные от 14:35", code page 1251; null when what is
    // shown is fresh or empty).
    RECT status_box;
    int32_t busy_cue;
    HICON cue_icon;
    const char *data_time;
    // The hourly strip of the shown day: its steps (null for none), how many
    // are past, where it goes and what it is drawn with.
    const HourStep *strip_steps;
    int32_t strip_muted;
    HourStripLayout strip_layout;
    const HourStripArt *strip_art;
};

// The values shown: the conditions (0 to 19) and the three temperatures
// (100 for none). busy is set while a fetch runs.
struct PanelValues {
    int32_t busy;
    int32_t actual_condition;
    int32_t forecast_condition;
    int32_t actual_temperature;
    int32_t day_temperature;
    int32_t night_temperature;
};

// What the view shows: during a fetch and without a record nothing; the
// forecast values from the first day that matches selected_day. A
// condition outside 0 to 19 counts as 0.
void panel_values(const PanelView *view, PanelValues *values);

// Draws the titles, icons and temperatures, the open data's credit when
// the view asks for it and no fetch runs, the status strip, and the hourly
// strip when the view has one and no fetch runs, into dc,
// whose client area is client; the background is left as it is.
void paint_panel(HDC dc, const RECT *client, const PanelView *view);

#endif

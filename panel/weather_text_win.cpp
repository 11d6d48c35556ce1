// Sets the panel's two text blocks from the weather record.
#include "panel/weather_text.h"

#include "fetch/encoding.h"
#include "fetch/fetch_job.h"
#include "panel/panel.h"
#include "panel/panel_paint.h"
#include "panel/panel_screen.h"
#include "res/resource.h"
#include "util/mem.h"

// The block is converted as a whole, just before it goes to the control; a
// failed conversion shows as an empty block.
static void set_block(HWND panel, int control, const char *utf8)
{
    char *text = utf8 != NULL ? utf8_to_cp1251(utf8) : NULL;
    SetDlgItemTextA(panel, control, text != NULL ? text : "");
    mem_free(text);
}

static const WeatherRecord *shown_record;

void set_shown_weather_record(const WeatherRecord *record)
{
    shown_record = record;
}

static void invalidate_painted_areas(HWND panel)
{
    PanelLayout layout;
    panel_layout_for_dpi(window_dpi(panel), &layout);
    RECT credit;
    panel_credit_box(panel, &credit);
    InvalidateRect(panel, &credit, TRUE);
    RECT status;
    panel_status_box(panel, &status);
    InvalidateRect(panel, &status, TRUE);

    // The forecast header band reaches from the left edge to the calendar.
    int right_of_header = 0;
    RECT panel_rect, calendar_rect;
    HWND calendar = GetDlgItem(panel, IDC_CALENDAR);
    if (GetWindowRect(panel, &panel_rect) && calendar != NULL && GetWindowRect(calendar, &calendar_rect))
        right_of_header = calendar_rect.left - panel_rect.left;
    RECT areas[6];
    int count = panel_changed_areas(&layout, right_of_header, areas);
    for (int i = 0; i < count; i++)
        InvalidateRect(panel, &areas[i], TRUE);
}

void update_weather_texts(HWND panel)
{
    // While a worker writes the fetch job's record nobody reads it: the
    // blocks stay as start_fetch left them (empty) and the poll rebuilds
    // them once the worker is done. The panel's own record is never written
    // by a worker.
    bool being_written = shown_record == NULL && fetch_running.load(std::memory_order_acquire) &&
                         !fetch_done.load(std::memory_order_acquire);
    if (!being_written) {
        const WeatherRecord *record = shown_record != NULL ? shown_record : weather_record;
        char *actual = compose_actual_block(record);
        char *forecast = compose_forecast_block(record, selected_day);
        set_block(panel, IDC_ACTUAL_TEXT, actual);
        set_block(panel, IDC_FORECAST_TEXT, forecast);
        mem_free(actual);
        mem_free(forecast);
    }
    invalidate_painted_areas(panel);
}

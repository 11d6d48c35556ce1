// The panel's painted parts: the red title and forecast header, the two
// condition icons and the three blue temperatures.
#include "panel/panel_paint.h"

#include "fetch/encoding.h"
#include "panel/date_text.h"
#include "panel/weather_text.h"
#include "util/mem.h"

// "Фактическая погода", UTF-8.
static const char ACTUAL_TITLE_UTF8[] =
    "\xD0\xA4\xD0\xB0\xD0\xBA\xD1\x82\xD0\xB8\xD1\x87\xD0\xB5\xD1\x81\xD0\xBA\xD0\xB0\xD1\x8F "
    "\xD0\xBF\xD0\xBE\xD0\xB3\xD0\xBE\xD0\xB4\xD0\xB0";

// "Данные: Open-Meteo.com", UTF-8.
static const char CREDIT_UTF8[] = "\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5: Open-Meteo.com";

static int32_t bounded_condition(int32_t condition)
{
    return condition >= 0 && condition < CONDITION_COUNT ? condition : 0;
}

void panel_values(const PanelView *view, PanelValues *values)
{
    values->busy = view->fetch_running != 0;
    values->actual_condition = 0;
    values->forecast_condition = 0;
    values->actual_temperature = NO_TEMPERATURE;
    values->day_temperature = NO_TEMPERATURE;
    values->night_temperature = NO_TEMPERATURE;
    if (values->busy || view->record == NULL)
        return;

    const WeatherRecord *record = view->record;
    values->actual_condition = bounded_condition(record->condition);
    values->actual_temperature = record->temperature;
    int day = find_matching_day(record, view->selected_day);
    if (day >= 0 && day < FORECAST_DAYS) {
        values->forecast_condition = bounded_condition(record->days[day].condition);
        values->day_temperature = record->days[day].day_temperature;
        values->night_temperature = record->days[day].night_temperature;
    }
}

static void draw_icon(HDC dc, int y, HICON icon)
{
    if (icon != NULL)
        DrawIconEx(dc, PANEL_ICON_X, y, icon, PANEL_ICON_SIZE, PANEL_ICON_SIZE, 0, NULL, DI_NORMAL);
}

static void draw_temperature(HDC dc, const RECT *client, int left, int right, int top,
                             int32_t temperature)
{
    RECT box = {left, top, right, client->bottom};
    DrawTextA(dc, temperature_text(temperature), -1, &box, DT_CENTER);
}

void paint_panel(HDC dc, const RECT *client, const PanelView *view)
{
    PanelValues values;
    panel_values(view, &values);

    char *title = utf8_to_cp1251(ACTUAL_TITLE_UTF8);
    char *header = forecast_title_text(view->selected_day);

    if (values.busy) {
        draw_icon(dc, PANEL_ACTUAL_ICON_Y, view->busy_icon);
        draw_icon(dc, PANEL_FORECAST_ICON_Y, view->busy_icon);
    } else {
        draw_icon(dc, PANEL_ACTUAL_ICON_Y, view->condition_icons[values.actual_condition]);
        draw_icon(dc, PANEL_FORECAST_ICON_Y, view->condition_icons[values.forecast_condition]);
    }

    int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);

    RECT text_box = *client;
    text_box.left = PANEL_TEXT_LEFT;
    text_box.top = PANEL_TITLE_TOP;
    SelectObject(dc, view->small_font);
    SetTextColor(dc, PANEL_TITLE_COLOUR);
    if (title != NULL)
        DrawTextA(dc, title, -1, &text_box, 0);
    text_box.top = PANEL_HEADER_TOP;
    if (header != NULL)
        DrawTextA(dc, header, -1, &text_box, 0);
    mem_free(title);
    mem_free(header);

    SetTextColor(dc, PANEL_TEMPERATURE_COLOUR);
    SelectObject(dc, view->large_font);
    draw_temperature(dc, client, PANEL_DAY_LEFT, PANEL_DAY_RIGHT, PANEL_ACTUAL_TEMPERATURE_TOP,
                     values.actual_temperature);
    draw_temperature(dc, client, PANEL_DAY_LEFT, PANEL_DAY_RIGHT, PANEL_FORECAST_TEMPERATURE_TOP,
                     values.day_temperature);
    draw_temperature(dc, client, PANEL_NIGHT_LEFT, PANEL_NIGHT_RIGHT, PANEL_FORECAST_TEMPERATURE_TOP,
                     values.night_temperature);
    if (view->open_data_credit && !values.busy) {
        char *credit = utf8_to_cp1251(CREDIT_UTF8);
        RECT box = {PANEL_CREDIT_LEFT, PANEL_CREDIT_TOP, PANEL_CREDIT_RIGHT, PANEL_CREDIT_BOTTOM};
        SelectObject(dc, view->credit_font);
        SetTextColor(dc, PANEL_CREDIT_COLOUR);
        if (credit != NULL)
            DrawTextA(dc, credit, -1, &box, DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX);
        mem_free(credit);
    }
    RestoreDC(dc, saved);
}

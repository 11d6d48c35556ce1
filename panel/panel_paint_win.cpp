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

static int scaled(int pixels_at_96, int dpi)
{
    return MulDiv(pixels_at_96, dpi, USER_DEFAULT_SCREEN_DPI);
}

void panel_layout_for_dpi(int dpi, PanelLayout *layout)
{
    if (dpi <= 0)
        dpi = USER_DEFAULT_SCREEN_DPI;
    layout->dpi = dpi;
    layout->icon_size = scaled(PANEL_ICON_SIZE, dpi);
    layout->icon_x = scaled(PANEL_ICON_X, dpi);
    layout->actual_icon_y = scaled(PANEL_ACTUAL_ICON_Y, dpi);
    layout->forecast_icon_y = scaled(PANEL_FORECAST_ICON_Y, dpi);
    layout->text_left = scaled(PANEL_TEXT_LEFT, dpi);
    layout->title_top = scaled(PANEL_TITLE_TOP, dpi);
    layout->header_top = scaled(PANEL_HEADER_TOP, dpi);
    layout->actual_temperature_top = scaled(PANEL_ACTUAL_TEMPERATURE_TOP, dpi);
    layout->forecast_temperature_top = scaled(PANEL_FORECAST_TEMPERATURE_TOP, dpi);
    layout->day_left = scaled(PANEL_DAY_LEFT, dpi);
    layout->day_right = scaled(PANEL_DAY_RIGHT, dpi);
    layout->night_left = scaled(PANEL_NIGHT_LEFT, dpi);
    layout->night_right = scaled(PANEL_NIGHT_RIGHT, dpi);
    layout->digits_from = scaled(PANEL_DIGITS_FROM, dpi);
    layout->digits_to = scaled(PANEL_DIGITS_TO, dpi);
    layout->header_band_top = scaled(PANEL_HEADER_BAND_TOP, dpi);
    layout->header_band_bottom = scaled(PANEL_HEADER_BAND_BOTTOM, dpi);
    layout->small_font_height = -MulDiv(SMALL_FONT_POINTS, dpi, 72);
    layout->large_font_height = -MulDiv(LARGE_FONT_POINTS, dpi, 72);
    layout->credit_font_height = -MulDiv(CREDIT_FONT_POINTS, dpi, 72);
    layout->cue_size = scaled(PANEL_CUE_SIZE, dpi);
    layout->status_gap = scaled(PANEL_STATUS_GAP, dpi);
}

int panel_changed_areas(const PanelLayout *l, int right_of_header, RECT *areas)
{
    int n = 0;
    RECT actual_icon = {l->icon_x, l->actual_icon_y, l->icon_x + l->icon_size, l->actual_icon_y + l->icon_size};
    RECT forecast_icon = {l->icon_x, l->forecast_icon_y, l->icon_x + l->icon_size,
                          l->forecast_icon_y + l->icon_size};
    RECT actual = {l->day_left, l->actual_temperature_top + l->digits_from, l->day_right,
                   l->actual_temperature_top + l->digits_to};
    RECT day = {l->day_left, l->forecast_temperature_top + l->digits_from, l->day_right,
                l->forecast_temperature_top + l->digits_to};
    RECT night = {l->night_left, l->forecast_temperature_top + l->digits_from, l->night_right,
                  l->forecast_temperature_top + l->digits_to};
    RECT header = {l->text_left, l->header_band_top, right_of_header, l->header_band_bottom};
    areas[n++] = actual_icon;
    areas[n++] = forecast_icon;
    areas[n++] = actual;
    areas[n++] = day;
    areas[n++] = night;
    areas[n++] = header;
    return n;
}

static void draw_icon(HDC dc, const PanelLayout *layout, int y, HICON icon)
{
    if (icon != NULL)
        DrawIconEx(dc, layout->icon_x, y, icon, layout->icon_size, layout->icon_size, 0, NULL, DI_NORMAL);
}

static void draw_temperature(HDC dc, const RECT *client, int left, int right, int top,
                             int32_t temperature)
{
    RECT box = {left, top, right, client->bottom};
    DrawTextA(dc, temperature_text(temperature), -1, &box, DT_CENTER);
}

// The data's time (or the reason there is none) in the credit's font and a
// muted colour, ending just before "Закрыть", and the busy cue before it.
static void draw_status(HDC dc, const PanelView *view)
{
    const PanelLayout *l = view->layout;
    RECT box = view->status_box;
    if (IsRectEmpty(&box))
        return;
    RECT text = box;
    text.left += l->cue_size + l->status_gap;
    int text_left = box.right;
    if (view->data_time != NULL) {
        SelectObject(dc, view->credit_font);
        RECT need = text;
        DrawTextA(dc, view->data_time, -1, &need, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        text_left = box.right - (need.right - need.left);
        if (text_left < text.left)
            text_left = text.left;
    }
    if (view->busy_cue && view->cue_icon != NULL)
        DrawIconEx(dc, text_left - l->status_gap - l->cue_size, (box.top + box.bottom - l->cue_size) / 2,
                   view->cue_icon, l->cue_size, l->cue_size, 0, NULL, DI_NORMAL);
    if (view->data_time == NULL)
        return;
    SetTextColor(dc, PANEL_DATA_TIME_COLOUR);
    // Unclipped: a last glyph can reach past the width the font reports
    // (Wine's does by a few pixels), into the gap before the button.
    DrawTextA(dc, view->data_time, -1, &text,
              DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_NOCLIP);
}

void paint_panel(HDC dc, const RECT *client, const PanelView *view)
{
    const PanelLayout *l = view->layout;
    PanelValues values;
    panel_values(view, &values);

    char *title = utf8_to_cp1251(ACTUAL_TITLE_UTF8);
    char *header = forecast_title_text(view->selected_day);

    if (values.busy) {
        draw_icon(dc, l, l->actual_icon_y, view->busy_icon);
        draw_icon(dc, l, l->forecast_icon_y, view->busy_icon);
    } else {
        draw_icon(dc, l, l->actual_icon_y, view->condition_icons[values.actual_condition]);
        draw_icon(dc, l, l->forecast_icon_y, view->condition_icons[values.forecast_condition]);
    }

    int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);

    RECT text_box = *client;
    text_box.left = l->text_left;
    text_box.top = l->title_top;
    SelectObject(dc, view->small_font);
    SetTextColor(dc, PANEL_TITLE_COLOUR);
    if (title != NULL)
        DrawTextA(dc, title, -1, &text_box, 0);
    text_box.top = l->header_top;
    if (header != NULL)
        DrawTextA(dc, header, -1, &text_box, 0);
    mem_free(title);
    mem_free(header);

    SetTextColor(dc, PANEL_TEMPERATURE_COLOUR);
    SelectObject(dc, view->large_font);
    draw_temperature(dc, client, l->day_left, l->day_right, l->actual_temperature_top,
                     values.actual_temperature);
    draw_temperature(dc, client, l->day_left, l->day_right, l->forecast_temperature_top,
                     values.day_temperature);
    draw_temperature(dc, client, l->night_left, l->night_right, l->forecast_temperature_top,
                     values.night_temperature);
    if (view->open_data_credit && !values.busy) {
        char *credit = utf8_to_cp1251(CREDIT_UTF8);
        RECT box = view->credit_box;
        SelectObject(dc, view->credit_font);
        SetTextColor(dc, PANEL_CREDIT_COLOUR);
        if (credit != NULL)
            DrawTextA(dc, credit, -1, &box, DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX);
        mem_free(credit);
    }
    draw_status(dc, view);
    if (view->strip_steps != NULL && view->strip_art != NULL && !values.busy)
        paint_hour_strip(dc, &view->strip_layout, view->strip_steps, view->strip_art->icons, view->strip_muted,
                         view->strip_art->font);
    RestoreDC(dc, saved);
}

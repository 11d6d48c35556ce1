// The forecast page's walk: one forward cursor over fixed markers, rows in a
// fixed order, seven cells per row.
#include "fetch/forecast_parser.h"

#include <math.h>
#include <string.h>

#include "fetch/page_scan.h"
#include "panel/day_number.h"

static const char *const MONTH_NAMES[12] = {
    "января", "февраля", "марта", "апреля", "мая", "июня",
    "июля", "августа", "сентября", "октября", "ноября", "декабря",
};

int16_t forecast_condition_code(int32_t picture)
{
    if (picture >= 1 && picture <= 17)
        return (int16_t)picture;
    if (picture == 61)
        return 6;
    return 0;
}

double parse_forecast_date(char *text)
{
    if (text == NULL)
        return 0.0;
    int32_t length = (int32_t)strlen(text);
    int32_t blank = find_marker(text, length, " ");
    if (blank < 0)
        return 0.0;
    char *name = text + blank + 1;
    int month = 0;
    for (int i = 0; i < 12; i++) {
        if (strcmp(name, MONTH_NAMES[i]) == 0) {
            month = i + 1;
            break;
        }
    }
    if (month == 0)
        return 0.0;
    name[0] = 0;
    int32_t day = read_page_number(text, (int32_t)strlen(text));
    if (day < 1 || day > 31)
        return 0.0;

    double now = today_day_number();
    CalendarDate date;
    day_number_to_date(now, &date);
    date.hour = 12;
    date.minute = 0;
    date.second = 0;
    if ((double)day != date.day) {
        if (date.month == 1 && month == 12)
            date.year -= 1;
        else if (date.month == 12 && month == 1)
            date.year += 1;
        date.month = month;
        date.day = day;
    }
    double result = date_to_day_number(&date);
    if (fabs(result - now) > 3.0)
        return 0.0;
    return result;
}

// Step 1: the first <nobr> element, if it closes within 99 bytes, is day 0's
// heading. The cursor ends just after "<nobr>" whatever the heading holds.
static void read_date_heading(WeatherRecord *record, PageCursor *cursor)
{
    if (!cursor_skip_past(cursor, "<nobr>"))
        return;
    int32_t end = cursor_find(cursor, "</nobr>");
    if (end < 0 || end > FORECAST_DATE_TEXT_MAX)
        return;
    char heading[FORECAST_DATE_TEXT_MAX + 1];
    memcpy(heading, cursor->at, (size_t)end);
    heading[end] = 0;
    record->days[0].date = parse_forecast_date(heading);
}

static int read_temperatures(WeatherRecord *record, PageCursor *cursor)
{
    if (!cursor_skip_past(cursor, "Температура воздуха"))
        return 0;
    for (int i = 0; i < FORECAST_DAYS; i++) {
        ForecastDay *day = &record->days[i];
        if (!cursor_skip_past(cursor, "pogodacell>"))
            return 0;
        day->night_temperature = (int16_t)cursor_number(cursor);
        if (!cursor_skip_past(cursor, "&nbsp; "))
            return 0;
        day->day_temperature = (int16_t)cursor_number(cursor);
    }
    return 1;
}

static int read_conditions(WeatherRecord *record, PageCursor *cursor)
{
    if (!cursor_skip_past(cursor, "Погода"))
        return 0;
    for (int i = 0; i < FORECAST_DAYS; i++) {
        if (!cursor_skip_past(cursor, "pr5000_images/"))
            return 0;
        record->days[i].condition = forecast_condition_code(cursor_number(cursor));
    }
    return 1;
}

// The cells of a row after its label: each one is found, the cursor left on
// its first byte, and its length up to "</td>" handed on. The cursor is not
// moved past the cell, so the next search starts inside it.
enum CellKind { CELL_COMMENT, CELL_PRECIP, CELL_PROBABILITY, CELL_DIRECTION, CELL_WIND_SPEED };

static void store_cell(ForecastDay *day, CellKind kind, const PageCursor *cursor, int32_t n)
{
    switch (kind) {
    case CELL_COMMENT:
        // A block that cannot be allocated leaves the comment null; the
        // walk goes on.
        weather_comment_store(&day->comment, copy_cell_text(cursor->at, n));
        break;
    case CELL_PRECIP:
        day->precip = cursor_number(cursor);
        break;
    case CELL_PROBABILITY:
        day->precip_probability = cursor_number(cursor);
        break;
    case CELL_DIRECTION:
        copy_wind_direction(day->wind_direction, cursor->at, n);
        break;
    case CELL_WIND_SPEED:
        day->wind_speed = (int16_t)cursor_number(cursor);
        break;
    }
}

static int read_cell_row(WeatherRecord *record, PageCursor *cursor, const char *label, CellKind kind)
{
    if (!cursor_skip_past(cursor, label))
        return 0;
    for (int i = 0; i < FORECAST_DAYS; i++) {
        if (!cursor_skip_past(cursor, "pogodacell>"))
            return 0;
        int32_t n = cursor_cell_length(cursor);
        if (n < 0)
            return 0;
        store_cell(&record->days[i], kind, cursor, n);
    }
    return 1;
}

int parse_forecast_page_into(WeatherRecord *record, const char *buffer, int32_t length)
{
    if (record == NULL)
        return 0;
    PageCursor cursor = {buffer, buffer != NULL && length > 0 ? length : 0};

    read_date_heading(record, &cursor);
    for (int i = 1; i < FORECAST_DAYS; i++)
        record->days[i].date = record->days[i - 1].date + 1.0;

    if (!read_temperatures(record, &cursor) || !read_conditions(record, &cursor))
        return 0;
    if (!read_cell_row(record, &cursor, "Комментарий к погоде", CELL_COMMENT) ||
        !read_cell_row(record, &cursor, "Осадки, мм", CELL_PRECIP) ||
        !read_cell_row(record, &cursor, "Вероятность осадков", CELL_PROBABILITY) ||
        !read_cell_row(record, &cursor, "Направление ветра", CELL_DIRECTION) ||
        !read_cell_row(record, &cursor, "Скорость ветра", CELL_WIND_SPEED))
        return 0;
    return 1;
}

int parse_forecast_page(const char *buffer, int32_t length)
{
    return parse_forecast_page_into(weather_record, buffer, length);
}

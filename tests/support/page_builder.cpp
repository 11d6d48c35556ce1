// The page builder: HTML shaped like the weather service's two pages.
#include "tests/support/page_builder.h"

#include <stdio.h>
#include <string.h>
#include <string>

#include "panel/day_number.h"
#include "util/mem.h"

namespace {

const char *const MONTHS[12] = {
    "января", "февраля", "марта", "апреля", "мая", "июня",
    "июля", "августа", "сентября", "октября", "ноября", "декабря",
};

std::string number(int value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    return text;
}

char *finish(const std::string &page, int32_t *length)
{
    *length = (int32_t)page.size();
    return page_copy(page.data(), (int32_t)page.size());
}

void put_headers(std::string &page, int with_headers, const char *status_line, size_t body_length)
{
    if (!with_headers)
        return;
    std::string head = status_line != NULL ? status_line : "HTTP/1.1 200 OK";
    head += "\r\nServer: nginx\r\nDate: Mon, 05 Jan 2026 09:00:00 GMT\r\n"
            "Content-Type: text/html; charset=utf-8\r\nContent-Length: ";
    head += number((int)body_length);
    head += "\r\nConnection: close\r\n\r\n";
    page.insert(0, head);
}

// A label cell and the row's opening, or the bare label.
void open_row(std::string &page, int bare, const char *label)
{
    if (bare) {
        page += label;
        return;
    }
    page += "<tr><td class=pogodacell2>";
    page += label;
    page += "</td>";
}

void close_row(std::string &page, int bare)
{
    if (!bare)
        page += "</tr>\n";
}

// One value cell: "pogodacell>" contents, then "</td>" unless left open.
void put_cell(std::string &page, const std::string &contents, int open)
{
    page += "<td class=pogodacell>";
    page += contents;
    if (!open)
        page += "</td>";
}

const char *or_text(const char *text)
{
    return text != NULL ? text : "";
}

// ---- forecast ----

const char *const FORECAST_LABELS[FORECAST_ROW_COUNT] = {
    "Температура воздуха", "Погода", "Комментарий к погоде", "Осадки, мм",
    "Вероятность осадков", "Направление ветра", "Скорость ветра",
};

std::string forecast_cell(const ForecastPageSpec *spec, ForecastRow row, int i)
{
    const ForecastDaySpec *day = &spec->days[i];
    const char *raw = spec->rows[row].raw[i];
    switch (row) {
    case FORECAST_ROW_TEMPERATURE:
        if (raw != NULL)
            return raw;
        return number(day->night_temperature) + "&nbsp; " + number(day->day_temperature);
    case FORECAST_ROW_CONDITION:
        return "<img src=\"/pr5000_images/" + (raw != NULL ? std::string(raw) : number(day->picture)) +
               ".gif\" width=40 height=40>";
    case FORECAST_ROW_COMMENT:
        return raw != NULL ? raw : or_text(day->comment);
    case FORECAST_ROW_PRECIP:
        return raw != NULL ? raw : number(day->precip);
    case FORECAST_ROW_PROBABILITY:
        return raw != NULL ? raw : number(day->precip_probability);
    case FORECAST_ROW_DIRECTION:
        return raw != NULL ? raw : or_text(day->wind_direction);
    case FORECAST_ROW_WIND_SPEED:
        return raw != NULL ? raw : number(day->wind_speed);
    default:
        return "";
    }
}

void put_forecast_row(std::string &page, const ForecastPageSpec *spec, ForecastRow row)
{
    const PageRowOptions *options = &spec->rows[row];
    if (options->omit)
        return;
    open_row(page, spec->bare, options->label != NULL ? options->label : FORECAST_LABELS[row]);
    int cells = PAGE_DAYS - options->drop_cells;
    for (int i = 0; i < cells; i++) {
        std::string contents = forecast_cell(spec, row, i);
        if (row == FORECAST_ROW_CONDITION && !spec->bare) {
            // The picture cell is no text cell: it is always closed.
            put_cell(page, contents, 0);
            continue;
        }
        put_cell(page, contents, options->open_cells);
    }
    close_row(page, spec->bare);
}

void put_date_row(std::string &page, const ForecastPageSpec *spec)
{
    if (spec->date_headings[0] == NULL)
        return;
    open_row(page, spec->bare, "Дата");
    for (int i = 0; i < PAGE_DAYS; i++) {
        if (spec->date_headings[i] == NULL)
            continue;
        page += "<td class=pogodadate><nobr>";
        page += spec->date_headings[i];
        if (i > 0 || !spec->date_heading_open)
            page += "</nobr>";
        page += "</td>";
    }
    close_row(page, spec->bare);
}

// ---- actual weather ----

const char *const ACTUAL_LABELS[ACTUAL_ROW_COUNT] = {
    "Атмосферное давление", "Температура воздуха", "Относительная влажность",
    "Погода", "Комментарий к погоде", "Направление ветра", "Скорость ветра",
    "Осадки за 6 часов", "Осадки за 12 часов", "Осадки за 24 часа",
};

const char NO_DATA_SENTENCE[] = "Фактические данные на этот срок отсутствуют";

std::string actual_value(const ActualPageSpec *spec, ActualRow row)
{
    const char *raw = spec->rows[row].raw[0];
    if (raw != NULL)
        return raw;
    switch (row) {
    case ACTUAL_ROW_PRESSURE:
        return number(spec->pressure) + " мм рт. ст.";
    case ACTUAL_ROW_TEMPERATURE:
        return number(spec->temperature);
    case ACTUAL_ROW_HUMIDITY:
        return number(spec->humidity) + "%";
    case ACTUAL_ROW_CONDITION:
        return number(spec->picture);
    case ACTUAL_ROW_COMMENT:
        return or_text(spec->comment);
    case ACTUAL_ROW_DIRECTION:
        return or_text(spec->wind_direction);
    case ACTUAL_ROW_WIND_SPEED:
        return number(spec->wind_speed) + " м/с";
    case ACTUAL_ROW_PRECIP_6H:
        return number(spec->precip_6h);
    case ACTUAL_ROW_PRECIP_12H:
        return number(spec->precip_12h);
    case ACTUAL_ROW_PRECIP_24H:
        return number(spec->precip_24h);
    default:
        return "";
    }
}

void put_actual_row(std::string &page, const ActualPageSpec *spec, ActualRow row)
{
    const PageRowOptions *options = &spec->rows[row];
    if (options->omit)
        return;
    const char *label = options->label != NULL ? options->label : ACTUAL_LABELS[row];
    std::string value = actual_value(spec, row);
    int with_cell = options->drop_cells <= 0;
    if (row == ACTUAL_ROW_CONDITION) {
        // The picture row carries no marker of its own before the picture.
        open_row(page, spec->bare, label);
        if (with_cell)
            put_cell(page, "<img src=\"/images/weather_images/" + value + ".gif\" alt=\"\">", 0);
        close_row(page, spec->bare);
        return;
    }
    if (spec->bare) {
        if (row == ACTUAL_ROW_TEMPERATURE || row == ACTUAL_ROW_HUMIDITY)
            page += "pogodacell2>";
        page += label;
    } else {
        // The temperature and humidity labels sit in a cell of class
        // pogodacell2, which the parser looks for with the label.
        page += "<tr><td class=pogodacell2>";
        page += label;
        page += "</td>";
    }
    if (with_cell) {
        if (row == ACTUAL_ROW_TEMPERATURE)
            put_cell(page, "<b>" + value + "</b> &deg;C", 0);
        else
            put_cell(page, value, options->open_cells);
    }
    close_row(page, spec->bare);
}

template <typename Row>
void put_rows(std::string &page, const Row *order, int order_count, int row_count,
              void (*put)(std::string &, const void *, Row), const void *spec)
{
    if (order == NULL) {
        for (int r = 0; r < row_count; r++)
            put(page, spec, (Row)r);
        return;
    }
    for (int i = 0; i < order_count; i++)
        put(page, spec, order[i]);
}

void put_forecast_row_any(std::string &page, const void *spec, ForecastRow row)
{
    put_forecast_row(page, (const ForecastPageSpec *)spec, row);
}

void put_actual_row_any(std::string &page, const void *spec, ActualRow row)
{
    put_actual_row(page, (const ActualPageSpec *)spec, row);
}

} // namespace

void page_date_heading(double day_number, char *text, size_t size)
{
    CalendarDate date;
    day_number_to_date(day_number, &date);
    int month = (int)date.month;
    if (month < 1 || month > 12)
        month = 1;
    snprintf(text, size, "%d %s", (int)date.day, MONTHS[month - 1]);
}

void page_forecast_defaults(ForecastPageSpec *spec)
{
    static const char *const HEADINGS[PAGE_DAYS] = {
        "5 января", "6 января", "7 января", "8 января", "9 января", "10 января", "11 января",
    };
    static const ForecastDaySpec WEEK[PAGE_DAYS] = {
        {-12, -5, 3, "Облачно, небольшой снег", 1, 40, "С-З", 4},
        {-15, -8, 7, "Ясно", 0, 5, "С", 2},
        {-9, -3, 6, "Переменная облачность", 0, 20, "З", 3},
        {-4, 1, 15, "Снег с дождём", 6, 80, "Ю-З", 7},
        {-2, 2, 11, "Небольшой дождь", 3, 70, "Ю", 5},
        {-6, -1, 16, "Пасмурно", 0, 30, "В", 1},
        {-10, -4, 13, "Сильный снег", 9, 90, "С-В", 6},
    };
    memset(spec, 0, sizeof *spec);
    spec->with_headers = 1;
    for (int i = 0; i < PAGE_DAYS; i++) {
        spec->date_headings[i] = HEADINGS[i];
        spec->days[i] = WEEK[i];
    }
}

void page_actual_defaults(ActualPageSpec *spec)
{
    memset(spec, 0, sizeof *spec);
    spec->with_headers = 1;
    spec->pressure = 745;
    spec->temperature = -12;
    spec->humidity = 85;
    spec->picture = 41;
    spec->comment = "Облачно с прояснениями, без осадков";
    spec->wind_direction = "Северо-западный";
    spec->wind_speed = 3;
    spec->precip_6h = 0;
    spec->precip_12h = 1;
    spec->precip_24h = 2;
}

char *page_build_forecast(const ForecastPageSpec *spec, int32_t *length)
{
    std::string page;
    if (spec->prologue != NULL)
        page += spec->prologue;
    if (!spec->bare)
        page += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                "<title>Прогноз на 7 дней</title></head>\n<body onload=\"window.print()\">\n"
                "<table class=pogodatable>\n";
    put_date_row(page, spec);
    put_rows<ForecastRow>(page, spec->order, spec->order_count, FORECAST_ROW_COUNT,
                          put_forecast_row_any, spec);
    if (!spec->bare)
        page += "</table>\n</body></html>\n";
    if (spec->epilogue != NULL)
        page += spec->epilogue;
    put_headers(page, spec->with_headers, spec->status_line, page.size());
    return finish(page, length);
}

char *page_build_actual(const ActualPageSpec *spec, int32_t *length)
{
    std::string page;
    if (spec->prologue != NULL)
        page += spec->prologue;
    if (!spec->bare)
        page += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                "<title>Фактическая погода</title></head>\n<body>\n<table class=pogodatable>\n";
    if (spec->no_data == NO_DATA_BEFORE_ROWS) {
        page += NO_DATA_SENTENCE;
        page += "\n";
    }
    put_rows<ActualRow>(page, spec->order, spec->order_count, ACTUAL_ROW_COUNT,
                        put_actual_row_any, spec);
    if (spec->no_data == NO_DATA_AFTER_ROWS) {
        page += "<p>";
        page += NO_DATA_SENTENCE;
        page += "</p>\n";
    }
    if (!spec->bare)
        page += "</table>\n</body></html>\n";
    if (spec->epilogue != NULL)
        page += spec->epilogue;
    put_headers(page, spec->with_headers, spec->status_line, page.size());
    return finish(page, length);
}

char *page_copy(const void *bytes, int32_t length)
{
    if (length <= 0)
        return NULL;
    char *block = (char *)mem_alloc((uint32_t)length);
    if (block != NULL)
        memcpy(block, bytes, (size_t)length);
    return block;
}

char *page_cut(const char *page, int32_t length, int32_t new_length)
{
    if (new_length > length)
        new_length = length;
    return page_copy(page, new_length);
}

int32_t page_offset_of(const char *page, int32_t length, const char *marker, int nth)
{
    size_t m = strlen(marker);
    int seen = 0;
    for (int32_t offset = 0; page != NULL && m > 0 && offset + (int32_t)m <= length; offset++) {
        if (memcmp(page + offset, marker, m) == 0 && ++seen == nth)
            return offset;
    }
    return -1;
}

char *page_cut_after(const char *page, int32_t length, const char *marker, int nth, int32_t *new_length)
{
    int32_t offset = page_offset_of(page, length, marker, nth);
    if (offset < 0) {
        *new_length = -1;
        return NULL;
    }
    *new_length = offset + (int32_t)strlen(marker);
    return page_copy(page, *new_length);
}

// Pages of the weather service written to the markers the parsers walk: a
// realistic page from a description of the weather, with per-row options for
// pages that are broken in the ways real ones break (rows missing, out of
// order, cut short, cells not closed). Tests, fuzz seeds and the simulator
// build their pages here.
//
// Every page is a heap block from util/mem.h of exactly its length (no
// terminator), so that a read past the end is caught by AddressSanitizer;
// release it with mem_free. An empty page is null with length 0.
#ifndef VELVANE_TESTS_SUPPORT_PAGE_BUILDER_H
#define VELVANE_TESTS_SUPPORT_PAGE_BUILDER_H

#include <stddef.h>
#include <stdint.h>

enum { PAGE_DAYS = 7 };

// How one row is written. All zero is the row as the service writes it.
struct PageRowOptions {
    int omit;             // leave the row out: no label, no cells
    int drop_cells;       // leave out this many cells at the row's end
    int open_cells;       // text cells lose their "</td>"
    const char *label;    // another label instead of the page's own
    const char *raw[PAGE_DAYS];  // a cell's contents as they stand, instead of the value
};

// Forecast page rows, in the page's own order.
enum ForecastRow {
    FORECAST_ROW_TEMPERATURE,
    FORECAST_ROW_CONDITION,
    FORECAST_ROW_COMMENT,
    FORECAST_ROW_PRECIP,
    FORECAST_ROW_PROBABILITY,
    FORECAST_ROW_DIRECTION,
    FORECAST_ROW_WIND_SPEED,
    FORECAST_ROW_COUNT
};

struct ForecastDaySpec {
    int night_temperature;
    int day_temperature;
    int picture;  // pr5000_images/<picture>.gif
    const char *comment;
    int precip;
    int precip_probability;
    const char *wind_direction;
    int wind_speed;
};

struct ForecastPageSpec {
    int with_headers;       // an HTTP status line and headers in front
    const char *status_line;  // null: "HTTP/1.1 200 OK"
    // The date row's headings, each in <nobr>..</nobr>; the first one is
    // the one the parser reads. A null first heading leaves the date row
    // (and every <nobr>) out.
    const char *date_headings[PAGE_DAYS];
    int date_heading_open;  // the first <nobr> is never closed
    ForecastDaySpec days[PAGE_DAYS];
    PageRowOptions rows[FORECAST_ROW_COUNT];
    // The rows in this order (order_count of them, each at most once); null:
    // the page's own order.
    const ForecastRow *order;
    int order_count;
    int bare;               // no HTML around the rows: labels and cells only
    const char *prologue;   // bytes right after the headers
    const char *epilogue;   // bytes at the very end
};

// Actual-weather page rows, in the page's own order.
enum ActualRow {
    ACTUAL_ROW_PRESSURE,
    ACTUAL_ROW_TEMPERATURE,
    ACTUAL_ROW_HUMIDITY,
    ACTUAL_ROW_CONDITION,
    ACTUAL_ROW_COMMENT,
    ACTUAL_ROW_DIRECTION,
    ACTUAL_ROW_WIND_SPEED,
    ACTUAL_ROW_PRECIP_6H,
    ACTUAL_ROW_PRECIP_12H,
    ACTUAL_ROW_PRECIP_24H,
    ACTUAL_ROW_COUNT
};

enum NoDataPlace { NO_DATA_NONE, NO_DATA_BEFORE_ROWS, NO_DATA_AFTER_ROWS };

struct ActualPageSpec {
    int with_headers;
    const char *status_line;
    int pressure;
    int temperature;
    int humidity;
    int picture;  // images/weather_images/<picture>.gif
    const char *comment;
    const char *wind_direction;
    int wind_speed;
    int precip_6h;
    int precip_12h;
    int precip_24h;
    // Options per row; drop_cells > 0 writes the label without its cell,
    // raw[0] replaces the cell's contents.
    PageRowOptions rows[ACTUAL_ROW_COUNT];
    const ActualRow *order;
    int order_count;
    NoDataPlace no_data;    // where the no-data sentence stands, if anywhere
    int bare;
    const char *prologue;
    const char *epilogue;
};

// A plausible week and a plausible observation, with headers in front and
// the date heading "5 января".
void page_forecast_defaults(ForecastPageSpec *spec);
void page_actual_defaults(ActualPageSpec *spec);

char *page_build_forecast(const ForecastPageSpec *spec, int32_t *length);
char *page_build_actual(const ActualPageSpec *spec, int32_t *length);

// The heading the service writes for the day of a day number: "5 января".
void page_date_heading(double day_number, char *text, size_t size);

// An exact-size copy of length bytes.
char *page_copy(const void *bytes, int32_t length);

// An exact-size copy of the first new_length bytes (at most length).
char *page_cut(const char *page, int32_t length, int32_t new_length);

// An exact-size copy that ends on the last byte of the nth (from 1)
// occurrence of marker, or null with *new_length -1 when there is none.
char *page_cut_after(const char *page, int32_t length, const char *marker, int nth, int32_t *new_length);

// Byte offset of the nth (from 1) occurrence of marker, or -1.
int32_t page_offset_of(const char *page, int32_t length, const char *marker, int nth);

#endif

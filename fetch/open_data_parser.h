// The open-data source: the Open-Meteo forecast API's answer for a place's
// coordinates, read into the weather record beside (or instead of) the
// weather service's two pages.
#ifndef VELVANE_FETCH_OPEN_DATA_PARSER_H
#define VELVANE_FETCH_OPEN_DATA_PARSER_H

#include <stdint.h>

#include "fetch/weather_record.h"

// The API's host, asked over plain HTTP on port 80 without a Referer.
#define OPEN_DATA_HOST "api.open-meteo.com"
enum { OPEN_DATA_PORT = 80 };

// The stored setting data_source.
enum {
    DATA_SOURCE_PAGES_THEN_OPEN_DATA = 0,  // the default
    DATA_SOURCE_PAGES_ONLY = 1,
    DATA_SOURCE_OPEN_DATA_ONLY = 2
};

// Whether a data source asks the weather service's pages at all (a value
// other than the three counts as the default).
int data_source_uses_pages(int32_t data_source);

// The parts to ask of the open data once the pages are done: nothing for
// pages only, everything for open data only, and by default each part whose
// page did not come whole (request failed, or its parser returned 0).
int open_data_parts_wanted(int32_t data_source, int actual_whole, int forecast_whole);

// The request path (without its leading slash) for a place, its latitude
// and longitude in degrees times 10000, written with four decimals and a
// point whatever the locale. A new text (util/mem.h), or null.
char *open_data_path(int32_t latitude_e4, int32_t longitude_e4);

// Reads an answer of the API: a whole response as http_get leaves it
// (status line, headers, body; only status 200 counts) or a body alone.
// 1 when it is a JSON object with a "current" or a "daily" object; then
// each asked part whose object is there ("current" for the observation,
// "daily" for the days, and only when current.time names one of its days,
// the place's today) is reset and filled, and *replaced (when not null)
// receives those parts. A figure outside its physical range counts as no
// value. 0 otherwise, the record untouched and *replaced 0.
int parse_open_data_into(WeatherRecord *record, const char *bytes, int32_t length, int parts,
                         int *replaced);

// The WMO weather code's condition code and comment (UTF-8, static). A code
// from 50 to 99 that the table lacks reads by its decade (drizzle, rain,
// snow, showers, thunderstorm); any other unknown code gives 0 and null.
int16_t open_data_condition_code(int32_t wmo_code);
const char *open_data_comment(int32_t wmo_code);

// The eight-word wind direction of degrees (0..360), or "" outside them.
const char *open_data_wind_word(double degrees);

#endif

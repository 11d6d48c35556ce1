// The printable forecast page: seven days of forecast, row by row.
#ifndef VELVANE_FETCH_FORECAST_PARSER_H
#define VELVANE_FETCH_FORECAST_PARSER_H

#include <stdint.h>

#include "fetch/weather_record.h"

enum { FORECAST_DATE_TEXT_MAX = 99 };  // bytes of date heading looked at

// Fills the days of the process-wide record from the page (length bytes, no
// terminator needed; nothing at or past length is read). 1 when every row
// was read, 0 when a marker was missing (what was stored before stays) or
// there is no record.
int parse_forecast_page(const char *buffer, int32_t length);

// The same into the given record, which the caller has reset.
int parse_forecast_page_into(WeatherRecord *record, const char *buffer, int32_t length);

// The day number of noon of a heading such as "5 января" (UTF-8), with the
// year inferred from the present moment (the clock seam of
// panel/day_number.h), or 0.0 when it is no date within three days of now.
// The text is cut after the day number.
double parse_forecast_date(char *text);

// The condition code of the forecast page's picture number: 1..17 give
// themselves, 61 gives 6, anything else 0.
int16_t forecast_condition_code(int32_t picture);

#endif

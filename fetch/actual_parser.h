// The actual-weather page: the latest observation for the location.
#ifndef VELVANE_FETCH_ACTUAL_PARSER_H
#define VELVANE_FETCH_ACTUAL_PARSER_H

#include <stdint.h>

#include "fetch/weather_record.h"

// Fills the observation fields of the process-wide record from the page
// (length bytes, no terminator needed; nothing at or past length is read).
// 1 when the walk reached its end; 0 when the page says it has no data, a
// required marker is missing, or there is no record.
int parse_actual_page(const char *buffer, int32_t length);

// The same into the given record, which the caller has reset.
int parse_actual_page_into(WeatherRecord *record, const char *buffer, int32_t length);

// The condition code of the actual-weather page's picture number (1..98);
// any other number gives 0.
int16_t actual_condition_code(int32_t picture);

#endif

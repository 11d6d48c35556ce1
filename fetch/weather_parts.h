// The weather record taken as its two parts, the observation and the
// forecast: which of them a record holds, and copying them between records.
#ifndef VELVANE_FETCH_WEATHER_PARTS_H
#define VELVANE_FETCH_WEATHER_PARTS_H

#include <stdint.h>

#include "fetch/fetch_schedule.h"
#include "fetch/weather_record.h"

// The parts (WEATHER_PART_*) that hold anything: the observation when any of
// its fields is off its no-value state, the forecast when a day carries a
// real date (a page whose date could not be read leaves only 0.0 to 6.0,
// which name no day the panel asks for).
int32_t weather_record_parts(const WeatherRecord *record);

// Makes the given parts of to equal those of from: the values, and each
// comment as a copy of its own (to's earlier comments are released). Parts
// not named keep their values. With a comment that cannot be copied for
// want of memory, that comment is left out and the result is 0; otherwise 1.
int weather_record_copy_parts(WeatherRecord *to, const WeatherRecord *from, int32_t parts);

// Brings the given parts of record to their values after reset, releasing
// their comments.
void weather_record_clear_parts(WeatherRecord *record, int32_t parts);

#endif

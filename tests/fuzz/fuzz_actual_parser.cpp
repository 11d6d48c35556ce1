// The actual-weather parser over arbitrary bytes, each input in an
// exact-size heap block so that a read past its end is caught; the record's
// invariants are checked after every walk.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fetch/actual_parser.h"
#include "util/mem.h"

static WeatherRecord *record;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    record = weather_record_create();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0x7FFFFFFF)
        return 0;
    char *page = (char *)mem_alloc((uint32_t)size);
    if (size > 0 && page == NULL)
        return 0;
    if (size > 0)
        memcpy(page, data, size);
    weather_record_reset(record);
    int result = parse_actual_page_into(record, page, (int32_t)size);
    mem_free(page);

    if (result != 0 && result != 1)
        abort();
    if (record->condition < 0 || record->condition > 19 || record->condition == 13 || record->condition == 16)
        abort();
    if (record->wind_direction[WIND_DIRECTION_MAX] != 0)
        abort();
    const char *comment = weather_comment(&record->comment);
    if (comment != NULL && strlen(comment) >= size)
        abort();
    // The two temperature markers, each with a byte behind it, take 64 bytes.
    if (result == 1 && size < 64)
        abort();
    for (int i = 0; i < FORECAST_DAYS; i++) {
        if (record->days[i].date != 0.0 || weather_comment(&record->days[i].comment) != NULL)
            abort();  // the forecast is not this parser's
    }
    return 0;
}

// The forecast parser over arbitrary bytes, each input in an exact-size heap
// block so that a read past its end is caught; the record's invariants are
// checked after every walk.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fetch/forecast_parser.h"
#include "tests/support/page_clock.h"
#include "util/mem.h"

static WeatherRecord *record;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A fixed present moment keeps every finding reproducible.
    page_clock_set_local(2026, 1, 5, 9, 0, 0);
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
    int result = parse_forecast_page_into(record, page, (int32_t)size);
    mem_free(page);

    if (result != 0 && result != 1)
        abort();
    for (int i = 0; i < FORECAST_DAYS; i++) {
        const ForecastDay *day = &record->days[i];
        if (i > 0 && day->date != record->days[i - 1].date + 1.0)
            abort();
        if (day->condition < 0 || day->condition > 17)
            abort();
        if (day->wind_direction[WIND_DIRECTION_MAX] != 0)
            abort();
        const char *comment = weather_comment(&day->comment);
        if (comment != NULL && strlen(comment) >= size)
            abort();
    }
    // Noon of a day within three days of 5 January 2026, 09:00.
    if (record->days[0].date != 0.0 && (record->days[0].date < 9498.0 || record->days[0].date > 9503.0))
        abort();
    return 0;
}

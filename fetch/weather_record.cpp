// The weather record's life: creation, reset and the comments it owns.
#include "fetch/weather_record.h"

#include <stddef.h>
#include <new>
#include <string.h>

#include "util/mem.h"

WeatherRecord *weather_record = NULL;

const char *weather_comment(const CommentSlot *slot)
{
    return slot->load(std::memory_order_acquire);
}

void weather_comment_store(CommentSlot *slot, char *text)
{
    char *old = slot->exchange(text, std::memory_order_acq_rel);
    mem_free(old);
}

void day_hours_reset(DayHours *hours)
{
    for (int i = 0; i < HOUR_STEPS; i++) {
        hours->steps[i].temperature = NO_TEMPERATURE;
        hours->steps[i].condition = 0;
        hours->steps[i].precipitation_tenths = NO_VALUE;
        hours->steps[i].code = NO_VALUE;
    }
    hours->has_any = 0;
    hours->day_code = NO_VALUE;
    hours->utc_offset_seconds = NO_UTC_OFFSET;
}

static void reset_day(ForecastDay *day)
{
    weather_comment_store(&day->comment, NULL);
    day->date = 0.0;
    day->day_temperature = NO_TEMPERATURE;
    day->night_temperature = NO_TEMPERATURE;
    day->precip = 0;
    day->precip_probability = 0;
    memset(day->wind_direction, 0, sizeof day->wind_direction);
    day->wind_speed = 0;
    day->condition = 0;
    day_hours_reset(&day->hours);
}

// Field by field rather than one fill with zero bytes: the comment slots are
// atomics, and each is emptied by a store so that its old block is released
// exactly once.
void weather_record_reset(WeatherRecord *record)
{
    weather_record_reset_days(record);
    weather_record_reset_observation(record);
}

void weather_record_reset_days(WeatherRecord *record)
{
    if (record == NULL)
        return;
    for (int i = 0; i < FORECAST_DAYS; i++)
        reset_day(&record->days[i]);
}

void weather_record_reset_observation(WeatherRecord *record)
{
    if (record == NULL)
        return;
    weather_comment_store(&record->comment, NULL);
    record->temperature = NO_TEMPERATURE;
    record->pressure = NO_VALUE;
    record->humidity = NO_VALUE;
    record->precip_6h = NO_VALUE;
    record->precip_12h = NO_VALUE;
    record->precip_24h = NO_VALUE;
    memset(record->wind_direction, 0, sizeof record->wind_direction);
    record->wind_speed = NO_VALUE;
    record->condition = 0;
}

WeatherRecord *weather_record_create(void)
{
    void *block = mem_alloc((uint32_t)sizeof(WeatherRecord));
    if (block == NULL)
        return NULL;
    memset(block, 0, sizeof(WeatherRecord));
    // Value-initialised: every field zero and every comment slot null.
    WeatherRecord *record = new (block) WeatherRecord();
    weather_record_reset(record);
    return record;
}

void weather_record_destroy(WeatherRecord *record)
{
    if (record == NULL)
        return;
    weather_record_reset(record);
    record->~WeatherRecord();
    mem_free(record);
}

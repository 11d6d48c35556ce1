// The two parts of the weather record, field by field: the comment slots
// are atomics owning heap texts, so a record is never copied as bytes.
#include "fetch/weather_parts.h"

#include <string.h>

#include "util/mem.h"

// Days before this number name no real date (see weather_record_parts).
static const double FIRST_REAL_DATE = (double)FORECAST_DAYS;

static int observation_present(const WeatherRecord *record)
{
    return record->temperature != NO_TEMPERATURE || record->pressure != NO_VALUE ||
           record->humidity != NO_VALUE || record->precip_6h != NO_VALUE ||
           record->precip_12h != NO_VALUE || record->precip_24h != NO_VALUE ||
           record->wind_direction[0] != 0 || record->wind_speed != NO_VALUE ||
           record->condition != 0 || weather_comment(&record->comment) != NULL;
}

static int forecast_present(const WeatherRecord *record)
{
    for (int i = 0; i < FORECAST_DAYS; i++)
        if (record->days[i].date > FIRST_REAL_DATE)
            return 1;
    return 0;
}

int32_t weather_record_parts(const WeatherRecord *record)
{
    if (record == NULL)
        return 0;
    int32_t parts = 0;
    if (observation_present(record))
        parts |= WEATHER_PART_OBSERVATION;
    if (forecast_present(record))
        parts |= WEATHER_PART_DAYS;
    return parts;
}

// Stores a copy of from's comment in to; 0 when the copy failed.
static int copy_comment(CommentSlot *to, const CommentSlot *from)
{
    const char *text = weather_comment(from);
    char *copy = dup_string(text);
    weather_comment_store(to, copy);
    return text == NULL || copy != NULL;
}

static int copy_observation(WeatherRecord *to, const WeatherRecord *from)
{
    to->temperature = from->temperature;
    to->pressure = from->pressure;
    to->humidity = from->humidity;
    to->precip_6h = from->precip_6h;
    to->precip_12h = from->precip_12h;
    to->precip_24h = from->precip_24h;
    memcpy(to->wind_direction, from->wind_direction, sizeof to->wind_direction);
    to->wind_direction[WIND_DIRECTION_MAX] = 0;
    to->wind_speed = from->wind_speed;
    to->condition = from->condition;
    return copy_comment(&to->comment, &from->comment);
}

static int copy_day(ForecastDay *to, const ForecastDay *from)
{
    to->date = from->date;
    to->day_temperature = from->day_temperature;
    to->night_temperature = from->night_temperature;
    to->precip = from->precip;
    to->precip_probability = from->precip_probability;
    memcpy(to->wind_direction, from->wind_direction, sizeof to->wind_direction);
    to->wind_direction[WIND_DIRECTION_MAX] = 0;
    to->wind_speed = from->wind_speed;
    to->condition = from->condition;
    to->hours = from->hours;
    return copy_comment(&to->comment, &from->comment);
}

int weather_record_copy_parts(WeatherRecord *to, const WeatherRecord *from, int32_t parts)
{
    if (to == NULL || from == NULL || to == from)
        return 1;
    int ok = 1;
    if (parts & WEATHER_PART_OBSERVATION)
        ok &= copy_observation(to, from);
    if (parts & WEATHER_PART_DAYS)
        for (int i = 0; i < FORECAST_DAYS; i++)
            ok &= copy_day(&to->days[i], &from->days[i]);
    return ok;
}

void weather_record_clear_parts(WeatherRecord *record, int32_t parts)
{
    if (record == NULL)
        return;
    // A reset record is the source of the values after reset, so the rule
    // lives in weather_record_reset alone. It holds no comment to release.
    WeatherRecord blank{};
    weather_record_reset(&blank);
    weather_record_copy_parts(record, &blank, parts);
}

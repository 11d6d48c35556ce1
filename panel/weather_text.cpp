// Composition of the panel's two text blocks from the weather record. The
// blocks are UTF-8 here; the Win32 side converts each as a whole just before
// it goes to its control. Every text is allocated to its formatted length,
// so a comment of any length fits whole.
#include "panel/weather_text.h"

#include <math.h>

#include "util/format.h"
#include "util/mem.h"

static const char EMPTY[] = "";

// Two day numbers name the same day when each, increased by 0.5 and
// truncated toward zero, gives the same whole number.
static double day_key(double day_number)
{
    return trunc(day_number + 0.5);
}

int find_matching_day(const WeatherRecord *record, double selected_day)
{
    if (record == NULL)
        return -1;
    double wanted = day_key(selected_day);
    for (int i = 0; i < FORECAST_DAYS; i++) {
        if (day_key(record->days[i].date) == wanted)
            return i;
    }
    return -1;
}

static char *wind_phrase(const WeatherRecord *record)
{
    bool has_direction = record->wind_direction[0] != 0;
    if (record->wind_speed == -1)
        return has_direction ? format_string("Ветер: %s", record->wind_direction) : dup_string(EMPTY);
    return format_string("Ветер: %s %d м/с", record->wind_direction, (int)record->wind_speed);
}

static char *pressure_phrase(const WeatherRecord *record)
{
    if (record->pressure == -1)
        return dup_string(EMPTY);
    return format_string("давл. %d мм рт.ст.", (int)record->pressure);
}

// Only one period is shown: the shortest one that has a value.
static char *precipitation_phrase(const WeatherRecord *record)
{
    if (record->precip_6h != -1)
        return format_string("Осадки за 6 часов: %d мм", (int)record->precip_6h);
    if (record->precip_12h != -1)
        return format_string("Осадки за 12 часов: %d мм", (int)record->precip_12h);
    if (record->precip_24h != -1)
        return format_string("Осадки за 24 часов: %d мм", (int)record->precip_24h);
    return dup_string(EMPTY);
}

static char *humidity_phrase(const WeatherRecord *record)
{
    if (record->humidity == -1)
        return dup_string(EMPTY);
    return format_string("влажн. %d%%", (int)record->humidity);
}

static const char *or_empty(const char *text)
{
    return text != NULL ? text : EMPTY;
}

static bool is_filled(const char *text)
{
    return text != NULL && text[0] != 0;
}

char *compose_actual_block(const WeatherRecord *record)
{
    if (record == NULL)
        return dup_string(EMPTY);

    const char *comment = weather_comment(&record->comment);
    char *wind = wind_phrase(record);
    char *pressure = pressure_phrase(record);
    char *precipitation = precipitation_phrase(record);
    char *humidity = humidity_phrase(record);

    // The separator after a phrase depends on that phrase alone.
    char *block = format_string("%s%s%s%s%s%s%s%s%s%s",
                                or_empty(comment), comment != NULL ? "\n" : EMPTY,
                                or_empty(wind), is_filled(wind) ? ", " : EMPTY,
                                or_empty(pressure),
                                is_filled(wind) || is_filled(pressure) ? "\n" : EMPTY,
                                or_empty(precipitation), is_filled(precipitation) ? ", " : EMPTY,
                                or_empty(humidity), is_filled(humidity) ? "\n" : EMPTY);

    mem_free(wind);
    mem_free(pressure);
    mem_free(precipitation);
    mem_free(humidity);
    return block;
}

char *compose_forecast_block(const WeatherRecord *record, double selected_day)
{
    int index = find_matching_day(record, selected_day);
    if (index < 0)
        return dup_string(EMPTY);

    const ForecastDay *day = &record->days[index];
    const char *comment = weather_comment(&day->comment);
    return format_string("%s%sВетер: %s, скорость ветра %d м/с\nОсадки: %d мм, вероятность осадков %d%%",
                         or_empty(comment), comment != NULL ? "\n" : EMPTY,
                         day->wind_direction, (int)day->wind_speed,
                         (int)day->precip, (int)day->precip_probability);
}

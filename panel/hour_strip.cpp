// The hourly strip's texts and its past steps.
#include "panel/hour_strip.h"

#include <math.h>
#include <stdio.h>

#include "panel/day_number.h"
#include "panel/weather_text.h"

enum { SECONDS_PER_DAY = 86400, DAYS_1970_TO_2000 = 10957, WHOLE_MM_FROM_TENTHS = 100 };

const char *hour_precipitation_text(int32_t tenths, char *buffer, uint32_t size)
{
    if (buffer == NULL || size == 0)
        return "";
    buffer[0] = 0;
    if (tenths <= 0)
        return buffer;
    if (tenths < WHOLE_MM_FROM_TENTHS)
        snprintf(buffer, size, "%d,%d", (int)(tenths / 10), (int)(tenths % 10));
    else
        snprintf(buffer, size, "%d", (int)((tenths + 5) / 10));
    return buffer;
}

const char *hour_step_label(int32_t step, char *buffer, uint32_t size)
{
    if (buffer != NULL && size > 0)
        snprintf(buffer, size, "%02d", (int)(step * HOURS_PER_STEP));
    return buffer;
}

void place_now(int32_t utc_offset_seconds, int64_t now, int32_t *day_key, int32_t *hour)
{
    if (utc_offset_seconds != NO_UTC_OFFSET) {
        int64_t local = now + utc_offset_seconds;
        int64_t days = local >= 0 ? local / SECONDS_PER_DAY : (local - SECONDS_PER_DAY + 1) / SECONDS_PER_DAY;
        *day_key = (int32_t)(days - DAYS_1970_TO_2000);
        *hour = (int32_t)((local - days * SECONDS_PER_DAY) / 3600);
        return;
    }
    CalendarDate date;
    local_date_of_seconds(now, &date);
    *hour = (int32_t)date.hour;
    date.hour = 12;
    date.minute = 0;
    date.second = 0;
    *day_key = (int32_t)trunc(date_to_day_number(&date) + 0.5);
}

int32_t hour_steps_past(const ForecastDay *day, int64_t now)
{
    if (day == NULL || !day->hours.has_any)
        return 0;
    int32_t today, hour;
    place_now(day->hours.utc_offset_seconds, now, &today, &hour);
    int32_t key = (int32_t)trunc(day->date + 0.5);
    if (key < today)
        return HOUR_STEPS;
    if (key > today)
        return 0;
    return hour / HOURS_PER_STEP;
}

int32_t hour_strip_day(const WeatherRecord *record, double selected_day)
{
    int day = find_matching_day(record, selected_day);
    return day >= 0 && record->days[day].hours.has_any ? day : -1;
}

const HourStep *hour_strip_steps(const WeatherRecord *record, double selected_day, int64_t now, int32_t *muted)
{
    *muted = 0;
    int32_t day = record != NULL ? hour_strip_day(record, selected_day) : -1;
    if (day < 0)
        return NULL;
    *muted = hour_steps_past(&record->days[day], now);
    return record->days[day].hours.steps;
}

// The kept weather and the line that gives its time.
#include "panel/kept_weather.h"

#include <math.h>
#include <string.h>

#include "fetch/encoding.h"
#include "fetch/weather_parts.h"
#include "panel/date_text.h"
#include "panel/day_number.h"
#include "util/format.h"
#include "util/mem.h"

void kept_weather_init(KeptWeather *kept)
{
    memset(kept, 0, sizeof *kept);
}

void kept_weather_free(KeptWeather *kept)
{
    weather_record_destroy(kept->record);
    mem_free(kept->place);
    kept_weather_init(kept);
}

static int same_place(const char *a, const char *b)
{
    return a != NULL && b != NULL && strcmp(a, b) == 0;
}

int32_t kept_weather_store(KeptWeather *kept, const WeatherRecord *fetched, int32_t whole, const char *place,
                           int64_t now, int64_t tick)
{
    int32_t parts = fetched != NULL ? whole & WEATHER_PARTS_ALL : 0;
    kept->fresh_parts = 0;
    if (!same_place(kept->place, place)) {
        // Another place: nothing of the old one may ever show again.
        mem_free(kept->place);
        kept->place = dup_string(place);
        weather_record_reset(kept->record);
        kept->parts = 0;
    }
    if (kept->place == NULL)
        return parts;
    if (kept->record == NULL)
        kept->record = weather_record_create();
    if (kept->record == NULL)
        return parts;
    // A part whose copy came out short still counts as brought, so the
    // schedule does not retry what did arrive.
    weather_record_copy_parts(kept->record, fetched, parts);
    kept->parts |= parts;
    kept->fresh_parts = parts;
    if (parts & WEATHER_PART_OBSERVATION) {
        kept->observation_time = now;
        kept->observation_tick = tick;
    }
    if (parts & WEATHER_PART_DAYS)
        kept->forecast_time = now;
    return parts;
}

// A forecast is worth showing while one of its days is today or later.
static int forecast_current(const WeatherRecord *record, double today)
{
    double today_key = trunc(today + 0.5);
    for (int i = 0; i < FORECAST_DAYS; i++)
        if (record->days[i].date != 0.0 && trunc(record->days[i].date + 0.5) >= today_key)
            return 1;
    return 0;
}

// Real time since the observation came, whatever the wall clock did.
static int observation_current(int64_t arrived_tick, int64_t tick)
{
    int64_t age = tick - arrived_tick;
    return age >= 0 && age <= (int64_t)KEPT_OBSERVATION_MAX_SECONDS * 1000;
}

void kept_weather_show(const KeptWeather *kept, const char *place, int64_t tick, double today,
                       WeatherRecord *shown, ShownWeather *state)
{
    memset(state, 0, sizeof *state);
    weather_record_reset(shown);
    if (kept->record == NULL || !same_place(kept->place, place))
        return;
    int32_t parts = 0;
    if ((kept->parts & WEATHER_PART_OBSERVATION) && observation_current(kept->observation_tick, tick)) {
        parts |= WEATHER_PART_OBSERVATION;
        state->observation = (kept->fresh_parts & WEATHER_PART_OBSERVATION) ? SHOWN_FRESH : SHOWN_KEPT;
        state->observation_time = kept->observation_time;
    }
    if ((kept->parts & WEATHER_PART_DAYS) && forecast_current(kept->record, today)) {
        parts |= WEATHER_PART_DAYS;
        state->forecast = (kept->fresh_parts & WEATHER_PART_DAYS) ? SHOWN_FRESH : SHOWN_KEPT;
        state->forecast_time = kept->forecast_time;
    }
    weather_record_copy_parts(shown, kept->record, parts);
}

int32_t shown_kept_time(const ShownWeather *state, int64_t *moment)
{
    int32_t found = 0;
    if (state->observation == SHOWN_KEPT) {
        *moment = state->observation_time;
        found = 1;
    }
    if (state->forecast == SHOWN_KEPT && (!found || state->forecast_time < *moment)) {
        *moment = state->forecast_time;
        found = 1;
    }
    return found;
}

static int same_date(const CalendarDate *a, const CalendarDate *b)
{
    return a->year == b->year && a->month == b->month && a->day == b->day;
}

char *data_time_text(int64_t moment, int64_t now, int32_t lower_case)
{
    CalendarDate when, today;
    local_date_of_seconds(moment, &when);
    local_date_of_seconds(now, &today);
    const char *lead = lower_case ? "данные от " : "Данные от ";
    if (same_date(&when, &today)) {
        char *utf8 = format_string("%s%02d:%02d", lead, (int)when.hour, (int)when.minute);
        char *text = utf8 != NULL ? utf8_to_cp1251(utf8) : NULL;
        mem_free(utf8);
        return text;
    }
    // The month's name comes from the date texts, already in code page 1251.
    char *utf8 = format_string("%s%d ", lead, (int)when.day);
    char *head = utf8 != NULL ? utf8_to_cp1251(utf8) : NULL;
    char *month = month_name_genitive((uint32_t)(when.month - 1));
    char *text = head != NULL && month != NULL
                     ? format_string("%s%s, %02d:%02d", head, month, (int)when.hour, (int)when.minute)
                     : NULL;
    mem_free(utf8);
    mem_free(head);
    mem_free(month);
    return text;
}

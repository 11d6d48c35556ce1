// The last weather kept through fetches that bring nothing: the last
// observation and the last forecast, each with the moment it arrived and
// the place it belongs to, and what the panel shows after each fetch. Kept
// in memory only.
#ifndef VELVANE_PANEL_KEPT_WEATHER_H
#define VELVANE_PANEL_KEPT_WEATHER_H

#include <stdint.h>

#include "fetch/fetch_schedule.h"
#include "fetch/weather_record.h"

enum { KEPT_OBSERVATION_MAX_SECONDS = 6 * 3600 };

// Where a shown part comes from.
enum { SHOWN_EMPTY = 0, SHOWN_FRESH = 1, SHOWN_KEPT = 2 };

struct KeptWeather {
    WeatherRecord *record;     // both parts; null until something is kept
    int32_t parts;             // the parts record holds (WEATHER_PART_*)
    int32_t fresh_parts;       // the parts the last fetch brought
    int64_t observation_time;  // seconds since 1970 (UTC) when each arrived
    int64_t forecast_time;
    int64_t observation_tick;  // the monotonic clock's ms when the observation arrived
    char *place;               // the location path both belong to, or null
};

struct ShownWeather {
    int32_t observation;       // SHOWN_*
    int32_t forecast;
    int64_t observation_time;  // when the shown part arrived (not SHOWN_EMPTY)
    int64_t forecast_time;
};

void kept_weather_init(KeptWeather *kept);
void kept_weather_free(KeptWeather *kept);

// A fetch for place ended at now (wall seconds; tick: the monotonic clock's
// ms) with fetched as its record and whole the parts it read whole: those
// become the kept ones, with now as their moment; a part read in pieces
// never replaces a kept one. The others stay kept unless they belong to
// another place, which is dropped whole. Returns whole.
int32_t kept_weather_store(KeptWeather *kept, const WeatherRecord *fetched, int32_t whole, const char *place,
                           int64_t now, int64_t tick);

// What to show for place at now (today: the day number of now): each part
// kept for that place, the observation while at most 6 hours old on the
// monotonic clock (a wall clock set back or forth changes nothing), the
// forecast while one of its days is today or later; everything else empty.
// shown (a record of the caller's) receives exactly that.
void kept_weather_show(const KeptWeather *kept, const char *place, int64_t tick, double today,
                       WeatherRecord *shown, ShownWeather *state);

// The moment of the oldest kept part that is shown; 0 when everything shown
// is fresh or empty.
int32_t shown_kept_time(const ShownWeather *state, int64_t *moment);

// "Данные от 14:35", or with the date when the moment is not today as seen
// at now ("Данные от 6 декабря, 14:35"); lower_case gives "данные от ...".
// Code page 1251, a new text (mem_free), or null.
char *data_time_text(int64_t moment, int64_t now, int32_t lower_case);

#endif

// The refresh unit: what a fetch brought, what the panel and the icon show
// and keep, and when the next fetch is due, as one plain state driven by
// events. Each event carries its moment on both clocks; the answer says
// what to do: fetch now (and why), when to ask again, the record and the
// status to show, and what the notification icon shows. Portable: the panel
// hands it the window's messages as events, and tests play whole timelines.
#ifndef VELVANE_PANEL_REFRESH_UNIT_H
#define VELVANE_PANEL_REFRESH_UNIT_H

#include <stdint.h>

#include "fetch/fetch_failure.h"
#include "fetch/fetch_schedule.h"
#include "fetch/weather_record.h"
#include "panel/kept_weather.h"

enum {
    // With a long period, or none, a fetch comes this long before the shown
    // observation would pass its 6 hours.
    REFRESH_FRESH_MARGIN_MS = 10 * 60000,
    REFRESH_TRAY_TEXT_SIZE = 16
};

// The present moment: tick on the monotonic clock (ms, GetTickCount64 in
// the program: counts through sleep, deaf to the wall clock), wall in
// seconds since 1970 (UTC), today the day number of wall (local time).
struct RefreshMoment {
    int64_t tick;
    int64_t wall;
    double today;
};

// What a fetch brought: its record, the parts read whole (WEATHER_PART_*;
// only these count), those of them from the open data, why it got nothing
// (FETCH_FAILURE_*), and whether the open data answered 429 or 503 (then
// the back-off leaves it alone until the regular refresh or half an hour).
struct FetchEnd {
    const WeatherRecord *record;
    int32_t whole_parts;
    int32_t open_data_parts;
    int32_t failure;
    int32_t open_data_busy;
};

struct RefreshUnit {
    FetchSchedule schedule;
    KeptWeather kept;
    WeatherRecord *shown;       // what the panel shows (empty while a user's fetch runs)
    ShownWeather state;
    WeatherRecord *tray_shown;  // what the icon shows: the kept weather of the place
    ShownWeather tray_state;
    char *place;                // the chosen place (location path), or null
    char *fetch_place;          // the place of the fetch under way or last ended
    int32_t wanted;             // a fetch asked for by an event (FETCH_REASON_*), not yet started
    int32_t running;
    int32_t running_is_user;
    int32_t has_started;
    int64_t last_started;       // the monotonic ms of the last fetch's start    // the fetch under way shows the busy state
    int32_t open_data_parts;    // the kept parts that came from the open data
    int32_t failure;            // of the last fetch; FETCH_FAILURE_NONE once one brings weather
    int32_t tray_temperature_on;
    double today_key;           // the day the clock was last seen on
};

struct RefreshAnswer {
    int32_t fetch_reason;       // fetch now for this reason, or FETCH_REASON_NONE
    uint32_t timer_ms;          // ask again after this long (FETCH_TIMER_IDLE: nothing due)
    const WeatherRecord *shown; // the record to show, and what its parts are
    ShownWeather state;
    int32_t busy;               // a fetch the user asked for runs: the busy state
    int32_t busy_cue;           // an automatic fetch runs behind the shown weather
    int32_t open_data_credit;   // a shown part came from the open data
    int32_t failure;            // FETCH_FAILURE_* of the last fetch; none while the busy state shows
    int32_t has_kept_time;      // a kept part is shown, the oldest arrived at kept_time
    int64_t kept_time;
    // The icon: the temperature text (UTF-8, as tray_temperature_text makes
    // it; empty for the thermometer) and the tooltip's inputs.
    char tray_temperature[REFRESH_TRAY_TEXT_SIZE];
    const WeatherRecord *tray_shown;
    ShownWeather tray_state;
};

// At program start for place, nothing fetched yet.
void refresh_unit_init(RefreshUnit *unit, const RefreshMoment *now, int64_t period_ms, int32_t regular_on,
                       int32_t tray_temperature_on, const char *place);
void refresh_unit_free(RefreshUnit *unit);

// The events.
void refresh_unit_fetch_started(RefreshUnit *unit, const RefreshMoment *now, int32_t reason);
void refresh_unit_fetch_ended(RefreshUnit *unit, const RefreshMoment *now, const FetchEnd *end);
void refresh_unit_clock_tick(RefreshUnit *unit, const RefreshMoment *now);
void refresh_unit_time_changed(RefreshUnit *unit, const RefreshMoment *now);
void refresh_unit_network_changed(RefreshUnit *unit, const RefreshMoment *now);
void refresh_unit_resumed(RefreshUnit *unit, const RefreshMoment *now);
void refresh_unit_place_changed(RefreshUnit *unit, const RefreshMoment *now, const char *place);
void refresh_unit_settings_changed(RefreshUnit *unit, const RefreshMoment *now, int64_t period_ms,
                                   int32_t regular_on, int32_t tray_temperature_on);

// The moment (monotonic ms) the next fetch is due, FETCH_NOT_DUE for none,
// and its reason: the schedule's, or a regular one come early so that the
// shown observation never passes its 6 hours.
int64_t refresh_unit_next(const RefreshUnit *unit, int32_t *reason);

// The forecast the last fetch brought whole for the chosen place (with the
// kept observation), for the heads-up; null when it brought none, or was of
// a place no longer chosen.
const WeatherRecord *refresh_unit_fresh_forecast(const RefreshUnit *unit);

// What to do and show at now. The records it names are the unit's, good
// until its next event.
void refresh_unit_answer(RefreshUnit *unit, const RefreshMoment *now, RefreshAnswer *answer);

#endif

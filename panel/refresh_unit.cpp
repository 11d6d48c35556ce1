// The refresh unit: the schedule and the kept weather as one state.
#include "panel/refresh_unit.h"

#include <math.h>
#include <string.h>

#include "panel/tray_text.h"
#include "util/mem.h"

static double day_key(double day_number)
{
    return floor(day_number + 0.5);
}

void refresh_unit_init(RefreshUnit *unit, const RefreshMoment *now, int64_t period_ms, int32_t regular_on,
                       int32_t tray_temperature_on, const char *place)
{
    memset(unit, 0, sizeof *unit);
    fetch_schedule_init(&unit->schedule, now->tick, period_ms, regular_on);
    kept_weather_init(&unit->kept);
    unit->shown = weather_record_create();
    unit->tray_shown = weather_record_create();
    unit->place = dup_string(place);
    unit->tray_temperature_on = tray_temperature_on;
    unit->today_key = day_key(now->today);
}

void refresh_unit_free(RefreshUnit *unit)
{
    kept_weather_free(&unit->kept);
    weather_record_destroy(unit->shown);
    weather_record_destroy(unit->tray_shown);
    mem_free(unit->place);
    mem_free(unit->fetch_place);
    memset(unit, 0, sizeof *unit);
}

void refresh_unit_fetch_started(RefreshUnit *unit, const RefreshMoment *now, int32_t reason)
{
    fetch_schedule_started(&unit->schedule, now->tick, reason);
    mem_free(unit->fetch_place);
    unit->fetch_place = dup_string(unit->place);
    unit->wanted = FETCH_REASON_NONE;
    unit->running = 1;
    unit->running_is_user = fetch_reason_is_user(reason);
    unit->has_started = 1;
    unit->last_started = now->tick;
}

void refresh_unit_fetch_ended(RefreshUnit *unit, const RefreshMoment *now, const FetchEnd *end)
{
    int32_t whole = kept_weather_store(&unit->kept, end->record, end->whole_parts, unit->fetch_place, now->wall,
                                       now->tick);
    // A part the fetch brought carries its source; a kept one keeps the
    // source it came with, so kept open data still shows its credit.
    unit->open_data_parts = (unit->open_data_parts & ~whole) | (end->open_data_parts & whole);
    unit->failure = whole != 0 ? FETCH_FAILURE_NONE : end->failure;
    fetch_schedule_ended(&unit->schedule, now->tick, whole);
    if (end->open_data_busy)
        fetch_schedule_throttled(&unit->schedule, now->tick);
    unit->running = 0;
    unit->running_is_user = 0;
}

void refresh_unit_clock_tick(RefreshUnit *unit, const RefreshMoment *now)
{
    // A new day: what a time change brings.
    if (day_key(now->today) != unit->today_key)
        refresh_unit_time_changed(unit, now);
}

void refresh_unit_time_changed(RefreshUnit *unit, const RefreshMoment *now)
{
    unit->today_key = day_key(now->today);
    fetch_schedule_clock_changed(&unit->schedule, now->tick);
}

void refresh_unit_network_changed(RefreshUnit *unit, const RefreshMoment *now)
{
    fetch_schedule_network_changed(&unit->schedule, now->tick);
}

void refresh_unit_resumed(RefreshUnit *unit, const RefreshMoment *now)
{
    fetch_schedule_resumed(&unit->schedule, now->tick);
}

void refresh_unit_place_changed(RefreshUnit *unit, const RefreshMoment *now, const char *place)
{
    (void)now;
    mem_free(unit->place);
    unit->place = dup_string(place);
    unit->wanted = FETCH_REASON_PLACE;
}

void refresh_unit_settings_changed(RefreshUnit *unit, const RefreshMoment *now, int64_t period_ms,
                                   int32_t regular_on, int32_t tray_temperature_on)
{
    fetch_schedule_set_period(&unit->schedule, now->tick, period_ms, regular_on);
    unit->tray_temperature_on = tray_temperature_on;
}

// When a fetch must come to keep the observation on screen: before it
// passes its 6 hours, whatever the period (or none); FETCH_NOT_DUE while a
// fetch runs, once one has started since that moment (a failed one is
// retried as any other), or while no observation of the place is kept.
static int64_t fresh_due(const RefreshUnit *unit)
{
    const KeptWeather *kept = &unit->kept;
    if (unit->running || !(kept->parts & WEATHER_PART_OBSERVATION) || kept->place == NULL ||
        unit->place == NULL || strcmp(kept->place, unit->place) != 0)
        return FETCH_NOT_DUE;
    int64_t due = kept->observation_tick + (int64_t)KEPT_OBSERVATION_MAX_SECONDS * 1000 - REFRESH_FRESH_MARGIN_MS;
    return unit->has_started && unit->last_started >= due ? FETCH_NOT_DUE : due;
}

int64_t refresh_unit_next(const RefreshUnit *unit, int32_t *reason)
{
    int64_t due = fetch_schedule_next(&unit->schedule, reason);
    int64_t fresh = fresh_due(unit);
    if (fresh < due) {
        due = fresh;
        *reason = FETCH_REASON_REGULAR;
    }
    return due;
}

const WeatherRecord *refresh_unit_fresh_forecast(const RefreshUnit *unit)
{
    const KeptWeather *kept = &unit->kept;
    if (!(kept->fresh_parts & WEATHER_PART_DAYS) || kept->record == NULL || kept->place == NULL ||
        unit->place == NULL || strcmp(kept->place, unit->place) != 0)
        return NULL;
    return kept->record;
}

void refresh_unit_answer(RefreshUnit *unit, const RefreshMoment *now, RefreshAnswer *answer)
{
    memset(answer, 0, sizeof *answer);
    int32_t reason = FETCH_REASON_NONE;
    int64_t due = refresh_unit_next(unit, &reason);
    if (unit->wanted != FETCH_REASON_NONE) {
        answer->fetch_reason = unit->wanted;
    } else if (due <= now->tick) {
        answer->fetch_reason = reason;
    }
    answer->timer_ms = fetch_timer_ms(due, now->tick);

    // The icon shows the kept weather of the chosen place, also while a
    // fetch the user asked for runs; the panel shows the busy state then.
    kept_weather_show(&unit->kept, unit->place, now->tick, now->today, unit->tray_shown, &unit->tray_state);
    answer->busy = unit->running && unit->running_is_user;
    answer->busy_cue = unit->running && !unit->running_is_user;
    if (answer->busy) {
        weather_record_reset(unit->shown);
        memset(&unit->state, 0, sizeof unit->state);
    } else {
        kept_weather_show(&unit->kept, unit->place, now->tick, now->today, unit->shown, &unit->state);
    }
    answer->shown = unit->shown;
    answer->state = unit->state;
    int32_t shown_parts = (unit->state.observation != SHOWN_EMPTY ? WEATHER_PART_OBSERVATION : 0) |
                          (unit->state.forecast != SHOWN_EMPTY ? WEATHER_PART_DAYS : 0);
    answer->open_data_credit = (unit->open_data_parts & shown_parts) != 0;
    answer->failure = answer->busy ? FETCH_FAILURE_NONE : unit->failure;
    answer->has_kept_time = shown_kept_time(&unit->state, &answer->kept_time);
    answer->tray_shown = unit->tray_shown;
    answer->tray_state = unit->tray_state;
    if (!unit->tray_temperature_on || unit->tray_state.observation == SHOWN_EMPTY ||
        !tray_temperature_text(unit->tray_shown->temperature, answer->tray_temperature,
                               sizeof answer->tray_temperature))
        answer->tray_temperature[0] = 0;
}

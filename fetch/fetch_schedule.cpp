// The fetch schedule: every rule about when to fetch, as arithmetic on the
// moments the events carry.
#include "fetch/fetch_schedule.h"

#include <string.h>

static const int64_t MINUTE_MS = 60000;

int64_t fetch_retry_delay_ms(int32_t step)
{
    static const int64_t MINUTES[FETCH_RETRY_STEPS] = {1, 2, 5, 10, 20, 30};
    if (step < 0)
        step = 0;
    if (step >= FETCH_RETRY_STEPS)
        step = FETCH_RETRY_STEPS - 1;
    return MINUTES[step] * MINUTE_MS;
}

void fetch_schedule_init(FetchSchedule *schedule, int64_t now, int64_t period_ms, int32_t regular_on)
{
    memset(schedule, 0, sizeof *schedule);
    schedule->retry_due = FETCH_NOT_DUE;
    schedule->catch_up_due = FETCH_NOT_DUE;
    fetch_schedule_set_period(schedule, now, period_ms, regular_on);
}

void fetch_schedule_set_period(FetchSchedule *schedule, int64_t now, int64_t period_ms, int32_t regular_on)
{
    // A period below a minute would turn the refresh into a burst.
    schedule->period_ms = period_ms < MINUTE_MS ? MINUTE_MS : period_ms;
    schedule->regular_on = regular_on != 0;
    schedule->regular_due = schedule->regular_on ? now + schedule->period_ms : FETCH_NOT_DUE;
}

void fetch_schedule_started(FetchSchedule *schedule, int64_t now, int32_t reason)
{
    schedule->has_started = 1;
    schedule->running = 1;
    schedule->retry_due = FETCH_NOT_DUE;
    schedule->catch_up_due = FETCH_NOT_DUE;
    schedule->catch_up_reason = FETCH_REASON_NONE;
    // This fetch does the regular one's work when that is due (or overdue
    // after a sleep), or is a regular one come early to keep the shown
    // observation fresh; otherwise the regular period keeps its rhythm.
    if (schedule->regular_on && (schedule->regular_due <= now || reason == FETCH_REASON_REGULAR))
        schedule->regular_due = now + schedule->period_ms;
    if (reason == FETCH_REASON_MANUAL || reason == FETCH_REASON_PLACE)
        schedule->retry_step = 0;
    if (reason == FETCH_REASON_NETWORK) {
        schedule->has_network_fetch = 1;
        schedule->last_network_fetch = now;
    }
}

void fetch_schedule_ended(FetchSchedule *schedule, int64_t now, int32_t parts)
{
    schedule->has_ended = 1;
    schedule->running = 0;
    schedule->last_end = now;
    schedule->last_parts = parts & WEATHER_PARTS_ALL;
    if (schedule->last_parts == WEATHER_PARTS_ALL) {
        schedule->has_complete = 1;
        schedule->last_complete = now;
        schedule->retry_step = 0;
        schedule->retry_due = FETCH_NOT_DUE;
        return;
    }
    // Never later than the regular refresh: fetch_schedule_next takes
    // whichever comes first, and either one ends the wait.
    schedule->retry_due = now + fetch_retry_delay_ms(schedule->retry_step);
    if (schedule->retry_step < FETCH_RETRY_STEPS)
        schedule->retry_step++;
}

// Asks for a catch-up fetch at due, unless one is already asked for sooner.
static void ask_catch_up(FetchSchedule *schedule, int64_t due, int32_t reason)
{
    if (due < schedule->catch_up_due) {
        schedule->catch_up_due = due;
        schedule->catch_up_reason = reason;
    }
}

// Nothing is kept fresh before the first fetch of the run: a user who turned
// off the fetch at start gets none from these events either.
static int complete_is_stale(const FetchSchedule *schedule, int64_t now)
{
    return !schedule->has_complete || now - schedule->last_complete >= schedule->period_ms;
}

void fetch_schedule_network_changed(FetchSchedule *schedule, int64_t now)
{
    if (!schedule->has_started)
        return;
    // A fetch still running when the addresses change counts as one that
    // got nothing: its connection may belong to the network that went.
    int stale = schedule->running || !schedule->has_ended || schedule->last_parts != WEATHER_PARTS_ALL ||
                now - schedule->last_end >= schedule->period_ms;
    if (!stale)
        return;
    int64_t due = now + FETCH_NETWORK_DELAY_MS;
    if (schedule->has_network_fetch && due < schedule->last_network_fetch + FETCH_NETWORK_MIN_GAP_MS)
        due = schedule->last_network_fetch + FETCH_NETWORK_MIN_GAP_MS;
    ask_catch_up(schedule, due, FETCH_REASON_NETWORK);
}

void fetch_schedule_resumed(FetchSchedule *schedule, int64_t now)
{
    // What fell due during the sleep would fire at once, before the network
    // is back: it waits for the resume's moment. What is still to come keeps
    // its moment, so that the second resume message of one wake-up does not
    // put off what the first one set.
    int64_t settle = now + FETCH_RESUME_DELAY_MS;
    if (schedule->regular_due <= now)
        schedule->regular_due = settle;
    if (schedule->retry_due <= now)
        schedule->retry_due = settle;
    if (schedule->catch_up_due <= now)
        schedule->catch_up_due = settle;
    if (schedule->has_started && complete_is_stale(schedule, now))
        ask_catch_up(schedule, settle, FETCH_REASON_RESUME);
}

void fetch_schedule_clock_changed(FetchSchedule *schedule, int64_t now)
{
    if (schedule->has_started && complete_is_stale(schedule, now))
        ask_catch_up(schedule, now + FETCH_CLOCK_DELAY_MS, FETCH_REASON_CLOCK);
}

int64_t fetch_schedule_next(const FetchSchedule *schedule, int32_t *reason)
{
    // On a tie the more particular reason names the fetch.
    int64_t due = schedule->catch_up_due;
    int32_t why = due != FETCH_NOT_DUE ? schedule->catch_up_reason : FETCH_REASON_NONE;
    if (schedule->retry_due < due) {
        due = schedule->retry_due;
        why = FETCH_REASON_RETRY;
    }
    // A retry that would come after the regular refresh is that refresh.
    if (schedule->regular_on &&
        (schedule->regular_due < due || (schedule->regular_due == due && why == FETCH_REASON_RETRY))) {
        due = schedule->regular_due;
        why = FETCH_REASON_REGULAR;
    }
    if (reason != NULL)
        *reason = why;
    return due;
}

uint32_t fetch_timer_ms(int64_t due, int64_t now)
{
    if (due == FETCH_NOT_DUE)
        return FETCH_TIMER_IDLE;
    if (due <= now)
        return 0;
    int64_t wait = due - now;
    return wait > (int64_t)FETCH_TIMER_MAX_MS ? FETCH_TIMER_MAX_MS : (uint32_t)wait;
}

int32_t fetch_reason_is_user(int32_t reason)
{
    return reason == FETCH_REASON_START || reason == FETCH_REASON_MANUAL || reason == FETCH_REASON_PLACE;
}

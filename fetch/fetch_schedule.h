// When the next fetch is due, and why: the periodic refresh, retries with
// back-off after a fetch that got less than everything, and the catch-up
// fetches after the network comes back, a resume from sleep or a change of
// the clock. A plain state driven by events that each carry the present
// moment, so that the whole timeline can be played without waiting.
//
// Moments are milliseconds of a clock that keeps counting through sleep and
// does not follow changes of the wall clock (GetTickCount64 in the program).
#ifndef VELVANE_FETCH_FETCH_SCHEDULE_H
#define VELVANE_FETCH_FETCH_SCHEDULE_H

#include <stdint.h>

#include "fetch/weather_record.h"  // the parts, WEATHER_PART_*


// Why a fetch starts.
enum {
    FETCH_REASON_NONE = 0,
    FETCH_REASON_START,     // the fetch at program start
    FETCH_REASON_MANUAL,    // the menu's refresh
    FETCH_REASON_PLACE,     // a change of country or city
    FETCH_REASON_REGULAR,   // the periodic refresh
    FETCH_REASON_RETRY,     // a retry after a fetch that got less than everything
    FETCH_REASON_NETWORK,   // the network came up or changed
    FETCH_REASON_RESUME,    // the machine woke from sleep
    FETCH_REASON_CLOCK      // the system time changed or a new day began
};

#define FETCH_NOT_DUE INT64_MAX

enum {
    FETCH_NETWORK_DELAY_MS = 3000,     // address changes come in bursts; let them settle
    FETCH_NETWORK_MIN_GAP_MS = 60000,  // network fetches at most once a minute
    FETCH_RESUME_DELAY_MS = 10000,     // the network needs a moment after a resume
    FETCH_CLOCK_DELAY_MS = 2000,
    FETCH_RETRY_STEPS = 6              // 1, 2, 5, 10, 20, 30 minutes, then 30 again
};

// The delay before retry number step (0 for the first), in milliseconds.
int64_t fetch_retry_delay_ms(int32_t step);

struct FetchSchedule {
    int64_t period_ms;        // the regular refresh period; also the age that makes weather stale
    int32_t regular_on;       // the periodic refresh is on
    int64_t regular_due;      // FETCH_NOT_DUE while it is off
    int64_t retry_due;        // FETCH_NOT_DUE when no retry is pending
    int32_t retry_step;       // fetches in a row that got less than everything
    int64_t catch_up_due;     // network, resume or clock; FETCH_NOT_DUE when none
    int32_t catch_up_reason;
    int32_t has_started;      // a fetch has been started in this run
    int32_t running;          // a fetch is under way
    int32_t has_ended;
    int64_t last_end;         // when the last fetch ended
    int32_t last_parts;       // the parts it got (WEATHER_PART_*)
    int32_t has_complete;
    int64_t last_complete;    // when the last fetch that got every part ended
    int32_t has_network_fetch;
    int64_t last_network_fetch;
};

// A schedule at program start: nothing fetched yet, the regular refresh (when
// on) due one period from now.
void fetch_schedule_init(FetchSchedule *schedule, int64_t now, int64_t period_ms, int32_t regular_on);

// The periodic refresh was switched on or off or its period changed: the
// period starts afresh from now.
void fetch_schedule_set_period(FetchSchedule *schedule, int64_t now, int64_t period_ms, int32_t regular_on);

// A fetch starts now (every fetch, whatever started it). It takes the place
// of every pending retry and catch-up fetch and of a regular one that is due;
// a manual refresh or a change of place starts the back-off afresh.
void fetch_schedule_started(FetchSchedule *schedule, int64_t now, int32_t reason);

// The fetch ended now with the parts it got (WEATHER_PART_* or 0). Everything
// ends the back-off; less than everything arms the next retry, never later
// than the regular refresh.
void fetch_schedule_ended(FetchSchedule *schedule, int64_t now, int32_t parts);

// The machine's addresses changed: a fetch follows within seconds when a
// fetch is under way (its connection may belong to the network that went),
// or the last one got less than everything or is older than the period, but
// network fetches come at most once a minute.
void fetch_schedule_network_changed(FetchSchedule *schedule, int64_t now);

// The machine woke from sleep: a fetch follows after FETCH_RESUME_DELAY_MS
// when the last complete one is older than the period, and nothing that fell
// due during the sleep fires before that.
void fetch_schedule_resumed(FetchSchedule *schedule, int64_t now);

// The system time changed or a new day began: as a resume, sooner.
void fetch_schedule_clock_changed(FetchSchedule *schedule, int64_t now);

// The moment the next fetch is due (FETCH_NOT_DUE for none), and its reason.
int64_t fetch_schedule_next(const FetchSchedule *schedule, int32_t *reason);

// Milliseconds from now until a fetch due at due, for a one-shot timer: 0
// when it is overdue, at most FETCH_TIMER_MAX_MS (the timer is simply armed
// again when it fires early), FETCH_TIMER_IDLE when due is FETCH_NOT_DUE.
enum : uint32_t { FETCH_TIMER_MAX_MS = 0x7FFFFFFFu, FETCH_TIMER_IDLE = 0xFFFFFFFFu };
uint32_t fetch_timer_ms(int64_t due, int64_t now);

// A fetch the user asked for, which shows the busy state; the others keep
// the shown weather on screen with a small busy cue.
int32_t fetch_reason_is_user(int32_t reason);

#endif

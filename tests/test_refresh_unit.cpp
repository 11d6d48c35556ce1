// The refresh unit through whole timelines, as the panel drives it: a fetch
// the unit asks for starts at once. The first table plays the schedule: each
// fetch takes a second and reads whole the parts the "network" gives then.
// The second plays what is shown: rows of events on the monotonic clock
// (minutes) with the wall clock beside it, each with what the unit answers.
#include <doctest/doctest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "panel/refresh_unit.h"
#include "util/mem.h"

namespace {

const double FIRST_DAY = 9837.0;        // 7 December 2026
const int64_t WALL_START = 1796601600;  // its midnight, UTC
const char *const MOSCOW = "russia/moscow-area/moscow";
const char *const SPB = "russia/leningrad-region/sankt-peterburg";

enum { START, END, TICK, NET, SLEEP, RESUME, TIME, PLACE, PERIOD, MANUAL, SET_CLOCK };

// A record as a fetch leaves it, both parts filled whatever was read whole.
WeatherRecord *fetched(int temperature)
{
    WeatherRecord *record = weather_record_create();
    REQUIRE(record != nullptr);
    record->temperature = (int16_t)temperature;
    weather_comment_store(&record->comment, dup_string("снег"));
    for (int i = 0; i < FORECAST_DAYS; i++) {
        record->days[i].date = FIRST_DAY + i;
        record->days[i].day_temperature = (int16_t)(temperature + i);
    }
    return record;
}

RefreshMoment moment(int64_t tick, int64_t wall_shift_s)
{
    int64_t wall = WALL_START + tick / 1000 + wall_shift_s;
    return RefreshMoment{tick, wall, FIRST_DAY + (double)(wall - WALL_START) / 86400.0};
}

const RefreshMoment *ptr(const RefreshMoment &m)
{
    return &m;
}

void end_fetch(RefreshUnit *unit, const RefreshMoment &now, int32_t whole, int temperature, int32_t busy = 0)
{
    WeatherRecord *record = fetched(temperature);
    FetchEnd end = {record, whole, 0, whole ? FETCH_FAILURE_NONE : FETCH_FAILURE_NO_ANSWER, busy};
    refresh_unit_fetch_ended(unit, &now, &end);
    weather_record_destroy(record);
}

// Applies one event of either table.
void apply(RefreshUnit *unit, const RefreshMoment &now, int kind, int64_t value, const char *place)
{
    switch (kind) {
    case START: refresh_unit_fetch_started(unit, &now, FETCH_REASON_START); break;
    case MANUAL: refresh_unit_fetch_started(unit, &now, FETCH_REASON_MANUAL); break;
    case TICK: refresh_unit_clock_tick(unit, &now); break;
    case NET: refresh_unit_network_changed(unit, &now); break;
    case RESUME: refresh_unit_resumed(unit, &now); break;
    case TIME: case SET_CLOCK: refresh_unit_time_changed(unit, &now); break;
    case PLACE: refresh_unit_place_changed(unit, &now, place); break;
    case PERIOD: refresh_unit_settings_changed(unit, &now, value * 60000, value != 0, 1); break;
    }
}

// ---- the schedule ----

struct Event {
    int64_t at_s;
    int kind;
    int64_t minutes;  // PERIOD: the new period, 0 switches the refresh off
};
struct Outage {
    int64_t from_s, to_s;  // fetches started in [from, to) read these parts whole
    int32_t parts;
    int32_t busy = 0;      // and the open data answered 429 or 503
};
struct Fetch {
    int64_t at_s;
    int32_t reason;
};
struct Scenario {
    const char *name;
    int64_t period_minutes;
    int32_t regular_on;
    bool fetch_at_start;
    std::vector<Outage> outages;
    std::vector<Event> events;
    int64_t end_s;
    std::vector<Fetch> expected;
};

std::string play(const Scenario &s)
{
    RefreshUnit unit;
    refresh_unit_init(&unit, ptr(moment(0, 0)), s.period_minutes * 60000, s.regular_on, 1, MOSCOW);
    std::string fetches;
    int64_t end_of_fetch = FETCH_NOT_DUE;
    int32_t parts = 0;
    int32_t busy = 0;
    bool asleep = false;
    auto start = [&](int64_t now, int32_t reason) {
        fetches += std::to_string(now / 1000) + ":" + std::to_string(reason) + " ";
        refresh_unit_fetch_started(&unit, ptr(moment(now, 0)), reason);
        parts = WEATHER_PARTS_ALL;
        busy = 0;
        for (const Outage &o : s.outages)
            if (now >= o.from_s * 1000 && now < o.to_s * 1000) {
                parts = o.parts;
                busy = o.busy;
            }
        end_of_fetch = now + 1000;  // only the newest fetch ends
    };
    if (s.fetch_at_start)
        start(0, FETCH_REASON_START);
    size_t next = 0;
    for (;;) {
        int64_t event_at = next < s.events.size() ? s.events[next].at_s * 1000 : FETCH_NOT_DUE;
        int32_t reason = FETCH_REASON_NONE;
        int64_t due = asleep ? FETCH_NOT_DUE : refresh_unit_next(&unit, &reason);
        int64_t now = std::min(end_of_fetch, std::min(event_at, due));
        if (now > s.end_s * 1000)
            break;
        if (now == end_of_fetch) {
            end_fetch(&unit, moment(now, 0), parts, 1, busy);
            end_of_fetch = FETCH_NOT_DUE;
        } else if (now == event_at) {
            const Event &e = s.events[next++];
            asleep = e.kind == SLEEP || (asleep && e.kind != RESUME);
            if (e.kind == MANUAL || e.kind == PLACE)
                start(now, e.kind == MANUAL ? FETCH_REASON_MANUAL : FETCH_REASON_PLACE);
            else
                apply(&unit, moment(now, 0), e.kind, e.minutes, MOSCOW);
        } else {
            RefreshAnswer answer;
            refresh_unit_answer(&unit, ptr(moment(now, 0)), &answer);
            CHECK(answer.fetch_reason == reason);
            start(now, reason);
        }
    }
    refresh_unit_free(&unit);
    return fetches;
}

std::string describe(const std::vector<Fetch> &fetches)
{
    std::string text;
    for (const Fetch &f : fetches)
        text += std::to_string(f.at_s) + ":" + std::to_string(f.reason) + " ";
    return text;
}

// ---- what is shown ----

struct Step {
    double at_min;       // the monotonic clock
    int ev;
    int32_t value;       // END: the parts read whole; SET_CLOCK: minutes added to the wall clock
    int temperature;     // END: the fetch's temperature
    const char *place;   // PLACE
    // The answer after the event and the fetch it asked for.
    int32_t fetch;
    int32_t observation, forecast;  // SHOWN_*
    int shown_temperature;          // 100: none
    const char *tray;               // the icon's temperature, "" for the thermometer
    double timer_max_min;           // the timer waits at most this (-1: not looked at)
};

void play(const char *name, const std::vector<Step> &steps, int64_t period_hours, int32_t regular_on)
{
    CAPTURE(name);
    int32_t live = mem_live_blocks();
    RefreshUnit unit;
    int64_t wall_shift = 0;
    refresh_unit_init(&unit, ptr(moment(0, 0)), period_hours * 3600000, regular_on, 1, MOSCOW);
    for (const Step &s : steps) {
        CAPTURE(s.at_min);
        wall_shift += s.ev == SET_CLOCK ? s.value * 60 : 0;
        RefreshMoment now = moment((int64_t)(s.at_min * 60000), wall_shift);
        if (s.ev == END) {
            end_fetch(&unit, now, s.value, s.temperature);
            // The heads-up reads the forecast a fetch brought, only that.
            CHECK((refresh_unit_fresh_forecast(&unit) != NULL) == ((s.value & WEATHER_PART_DAYS) != 0));
        } else {
            apply(&unit, now, s.ev, 0, s.place);
        }
        RefreshAnswer answer;
        refresh_unit_answer(&unit, &now, &answer);
        int32_t started = answer.fetch_reason;
        if (started != FETCH_REASON_NONE) {
            refresh_unit_fetch_started(&unit, &now, started);
            refresh_unit_answer(&unit, &now, &answer);
        }
        CHECK(started == s.fetch);
        CHECK(answer.state.observation == s.observation);
        CHECK(answer.state.forecast == s.forecast);
        CHECK(answer.shown->temperature == s.shown_temperature);
        CHECK(std::string(answer.tray_temperature) == s.tray);
        if (s.timer_max_min >= 0)
            CHECK(answer.timer_ms <= (uint32_t)(s.timer_max_min * 60000));
        if (s.ev == END)  // named until a fetch brings weather
            CHECK(answer.failure == (s.value ? FETCH_FAILURE_NONE : FETCH_FAILURE_NO_ANSWER));
    }
    refresh_unit_free(&unit);
    CHECK(mem_live_blocks() == live);
}

const int32_t S = FETCH_REASON_START, M = FETCH_REASON_MANUAL, P = FETCH_REASON_PLACE, G = FETCH_REASON_REGULAR,
              R = FETCH_REASON_RETRY, N = FETCH_REASON_NETWORK, W = FETCH_REASON_RESUME, C = FETCH_REASON_CLOCK,
              NO = FETCH_REASON_NONE;
const int32_t ALL = WEATHER_PARTS_ALL, OBS = WEATHER_PART_OBSERVATION, DAYS = WEATHER_PART_DAYS;
const int E = SHOWN_EMPTY, F = SHOWN_FRESH, K = SHOWN_KEPT;
const int64_t LONG = 1000000;
#define MINUS "\xE2\x88\x92"

} // namespace

TEST_CASE("the schedule's timelines")
{
    const Scenario scenarios[] = {
        // Back-off 1, 2, 5, 10, 20, 30, 30 minutes after each failed fetch's
        // end; the regular refresh at 2 h comes before the next retry would
        // and does not start the sequence afresh.
        {"offline all day", 120, 1, true, {{0, LONG, 0}}, {}, 10000,
         {{0, S}, {61, R}, {182, R}, {483, R}, {1084, R}, {2285, R}, {4086, R}, {5887, R}, {7200, G}, {9001, R}}},
        // Only a part read whole is retried too; a whole fetch ends it.
        {"forecast only, then everything", 120, 1, true, {{0, 100, DAYS}}, {}, 8000,
         {{0, S}, {61, R}, {182, R}, {7200, G}}},
        // A manual refresh and a change of place start the sequence afresh.
        {"user fetches restart the back-off", 120, 1, true, {{0, LONG, 0}}, {{300, MANUAL, 0}, {700, PLACE, 0}},
         800, {{0, S}, {61, R}, {182, R}, {300, M}, {361, R}, {482, R}, {700, P}, {761, R}}},
        // The network back: a fetch seconds later; a burst of changes brings
        // one; changes while the weather is fresh bring none.
        {"network comes back", 120, 1, true, {{0, 100, 0}},
         {{100, NET, 0}, {101, NET, 0}, {102, NET, 0}, {200, NET, 0}}, 7300, {{0, S}, {61, R}, {103, N}, {7200, G}}},
        // Network fetches at most once a minute, and never lost.
        {"flapping network", 120, 1, true, {{0, 1000, 0}}, {{100, NET, 0}, {110, NET, 0}, {130, NET, 0}, {300, NET, 0}},
         1100, {{0, S}, {61, R}, {103, N}, {163, N}, {303, N}}},
        // A change while a fetch runs, after complete ones: not lost.
        {"network change during a fetch", 120, 1, true, {}, {{100, MANUAL, 0}, {100, NET, 0}}, 7300,
         {{0, S}, {100, M}, {103, N}, {7200, G}}},
        // Weather older than the period is refreshed on a network change.
        {"network change with old weather", 60, 0, true, {}, {{3000, NET, 0}, {4000, NET, 0}}, 9000,
         {{0, S}, {4003, N}}},
        // A long sleep: nothing fires while asleep; the resume (reported
        // twice) brings one fetch 10 s after the first report, which also
        // does the overdue regular refresh's work.
        {"long sleep", 120, 1, true, {}, {{1000, SLEEP, 0}, {20000, RESUME, 0}, {20008, RESUME, 0}}, 28000,
         {{0, S}, {20010, W}, {27210, G}}},
        // Woken before the network is back: the retries carry on.
        {"resume into an outage", 120, 1, true, {{20000, 20100, 0}}, {{1000, SLEEP, 0}, {20000, RESUME, 0}}, 21000,
         {{0, S}, {20010, W}, {20071, R}, {20192, R}}},
        // A short sleep with fresh weather brings nothing.
        {"short sleep", 120, 1, true, {}, {{100, SLEEP, 0}, {200, RESUME, 0}}, 7300, {{0, S}, {7200, G}}},
        // A new day or a time change with weather older than the period.
        {"new day", 120, 0, true, {}, {{100, TIME, 0}, {10000, TIME, 0}}, 20000, {{0, S}, {10002, C}}},
        // The period restarts from the change; switched off, no regular ones.
        {"period changes", 120, 1, true, {}, {{1000, PERIOD, 60}, {5000, PERIOD, 0}, {9000, PERIOD, 30}}, 12700,
         {{0, S}, {4600, G}, {10800, G}, {12600, G}}},
        // A retry pending when the period changes is kept.
        {"retry survives a period change", 120, 1, true, {{0, 10, 0}}, {{30, PERIOD, 60}}, 100, {{0, S}, {61, R}}},
        // The open data busy: no 1-2-5 back-off, a retry 30 minutes after
        // each busy answer; whatever got through ends the wait.
        {"open data busy", 120, 1, true, {{0, 4000, 0, 1}}, {}, 7300,
         {{0, S}, {1801, R}, {3602, R}, {5403, R}, {7200, G}}},
        // ... and the regular refresh when it comes sooner; a busy answer
        // that still brought a part waits as long.
        {"open data busy, short period", 20, 1, true, {{0, 3000, OBS, 1}}, {}, 4000,
         {{0, S}, {1200, G}, {2400, G}, {3600, G}}},
        // No fetch at start: nothing to keep fresh, no catch-up fetches.
        {"no fetch at start", 120, 1, false, {}, {{100, NET, 0}, {200, SLEEP, 0}, {300, RESUME, 0}, {400, TIME, 0}},
         7300, {{7200, G}}},
        // With 12 hours (or none) a fetch comes 10 minutes before the shown
        // observation would pass its 6 hours, and counts as the regular one.
        {"a period of 12 hours", 720, 1, true, {}, {}, 45000, {{0, S}, {21001, G}, {42002, G}}},
        {"refresh off", 120, 0, true, {}, {}, 45000, {{0, S}, {21001, G}, {42002, G}}},
    };
    for (const Scenario &s : scenarios) {
        CAPTURE(s.name);
        CHECK(play(s) == describe(s.expected));
    }
}

TEST_CASE("what is shown: timelines")
{
    // The forecast page cut after its date row: its days, read in pieces,
    // never replace the kept ones; the observation is fresh, the forecast
    // kept, a retry comes within a minute. A user's fetch empties the panel
    // (the busy state) while the icon keeps its temperature.
    play("a cut page",
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, -7, nullptr, NO, F, F, -7, MINUS "7", 120},
          {30, MANUAL, 0, 0, nullptr, NO, E, E, 100, MINUS "7", -1},
          {30.1, END, OBS, 5, nullptr, NO, F, K, 5, "+5", 1.01},
          {31.1, TICK, 0, 0, nullptr, R, F, K, 5, "+5", -1},
          {31.2, END, ALL, 6, nullptr, NO, F, F, 6, "+6", 120}},
         2, 1);
    // Refresh off: the early fetch fails; the observation goes at 6 hours of
    // real time, the forecast stays.
    play("refresh off, the early fetch failing",
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, 3, nullptr, NO, F, F, 3, "+3", 350.1},
          {350.1, TICK, 0, 0, nullptr, G, F, F, 3, "+3", -1},
          {350.2, END, 0, 0, nullptr, NO, K, K, 3, "+3", 1.01},
          {360.1, TICK, 0, 0, nullptr, R, K, K, 3, "+3", -1},
          {360.2, END, 0, 0, nullptr, NO, E, K, 100, "", -1}},
         2, 0);
    // Another place: at once the panel and the icon show it empty (the
    // thermometer) and it is fetched; the way back shows nothing of the old.
    play("a place change",
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, -7, nullptr, NO, F, F, -7, MINUS "7", -1},
          {1, PLACE, 0, 0, SPB, P, E, E, 100, "", -1},
          {1.1, END, OBS, 4, nullptr, NO, F, E, 4, "+4", 1.01},
          {2, PLACE, 0, 0, MOSCOW, P, E, E, 100, "", -1},
          {2.1, END, 0, 0, nullptr, NO, E, E, 100, "", -1}},
         2, 1);
    // The clock set back 7 hours: the observation's age is real time. By
    // the wall clock it is an hour old at the end; in real time over 6 hours.
    play("the clock set back 7 hours",
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, -2, nullptr, NO, F, F, -2, MINUS "2", -1},
          {10, SET_CLOCK, -420, 0, nullptr, NO, F, F, -2, MINUS "2", -1},
          {30, TICK, 0, 0, nullptr, NO, F, F, -2, MINUS "2", -1},
          {350.1, TICK, 0, 0, nullptr, G, F, F, -2, MINUS "2", -1},
          {360.2, TICK, 0, 0, nullptr, NO, E, F, 100, "", -1}},
         24, 0);
    // A kept forecast shows while one of its days is today or later; the
    // next day it is gone. (The retries meanwhile are the schedule's table.)
    play("a forecast through its days",
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, DAYS, 9, nullptr, NO, E, F, 100, "", 1.01},
          {1.1, TICK, 0, 0, nullptr, R, E, F, 100, "", -1},
          {1.2, END, DAYS, 9, nullptr, NO, E, F, 100, "", -1},
          {6 * 1440 + 1.3, TIME, 0, 0, nullptr, R, E, F, 100, "", -1},
          {7 * 1440 + 1.4, TICK, 0, 0, nullptr, NO, E, E, 100, "", -1}},
         48, 0);
}

TEST_CASE("the timer's wait")
{
    CHECK(fetch_timer_ms(1000 + 86400000, 1000) == 86400000u);
    CHECK(fetch_timer_ms(5, 10) == 0u);
    CHECK(fetch_timer_ms(86400000, -3000000000LL) == FETCH_TIMER_MAX_MS);
    CHECK(fetch_timer_ms(FETCH_NOT_DUE, 0) == FETCH_TIMER_IDLE);
    // A period of 0 from a hand-edited registry is no burst: a minute.
    RefreshUnit unit;
    refresh_unit_init(&unit, ptr(moment(0, 0)), 0, 1, 1, MOSCOW);
    RefreshAnswer answer;
    refresh_unit_answer(&unit, ptr(moment(0, 0)), &answer);
    CHECK(answer.timer_ms == 60000u);
    refresh_unit_free(&unit);
}

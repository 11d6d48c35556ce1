// The refresh unit through whole timelines: each row is an event at a
// moment of the monotonic clock (minutes) with the wall clock beside it,
// then what the unit answers. A fetch the unit asks for starts at once, as
// the panel starts it; the records that fetches bring are real records, the
// parts they read whole named apart from what they hold.
#include <doctest/doctest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fetch/weather_parts.h"
#include "panel/refresh_unit.h"
#include "util/mem.h"

namespace {

const double FIRST_DAY = 9837.0;  // 7 December 2026
const int64_t WALL_START = 1796601600;  // 2026-12-07T00:00:00Z
const char *const MOSCOW = "russia/moscow-area/moscow";
const char *const SPB = "russia/leningrad-region/sankt-peterburg";

enum { START, END, TICK, NET, RESUME, TIME, PLACE, PERIOD, MANUAL, SET_CLOCK };

struct Step {
    double at_min;       // the monotonic clock
    int ev;
    int32_t whole;       // END: the parts read whole; PERIOD: hours (0: off); SET_CLOCK: minutes to add
    int temperature;     // END: the fetch's temperature (its days day + i); its record holds both parts
    const char *place;   // PLACE
    // What the unit answers after the event (and the fetch it asked for).
    int32_t fetch;       // the reason of the fetch it started, or 0
    int32_t observation; // SHOWN_*
    int32_t forecast;
    int shown_temperature;   // 100: none
    const char *tray;        // the icon's temperature text, "" for the thermometer
    double timer_max_min;    // the timer waits at most this (-1: not checked)
};

// A record as a fetch leaves it: both parts filled, whatever was read whole.
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

struct Timeline {
    const char *name;
    int64_t period_hours;
    int32_t regular_on;
    std::vector<Step> steps;
};

void play(const Timeline &t)
{
    CAPTURE(t.name);
    int32_t live = mem_live_blocks();
    RefreshUnit unit;
    int64_t wall_shift = 0;
    RefreshMoment now = {0, WALL_START, FIRST_DAY};
    refresh_unit_init(&unit, &now, t.period_hours * 3600000, t.regular_on, 1, MOSCOW);
    for (const Step &s : t.steps) {
        CAPTURE(s.at_min);
        now.tick = (int64_t)(s.at_min * 60000);
        if (s.ev == SET_CLOCK)
            wall_shift += s.whole * 60;
        now.wall = WALL_START + now.tick / 1000 + wall_shift;
        now.today = FIRST_DAY + (double)(now.wall - WALL_START) / 86400.0;
        switch (s.ev) {
        case START: refresh_unit_fetch_started(&unit, &now, FETCH_REASON_START); break;
        case MANUAL: refresh_unit_fetch_started(&unit, &now, FETCH_REASON_MANUAL); break;
        case END: {
            WeatherRecord *record = fetched(s.temperature);
            FetchEnd end = {record, s.whole, 0, s.whole ? FETCH_FAILURE_NONE : FETCH_FAILURE_NO_ANSWER};
            refresh_unit_fetch_ended(&unit, &now, &end);
            weather_record_destroy(record);
            break;
        }
        case TICK: refresh_unit_clock_tick(&unit, &now); break;
        case NET: refresh_unit_network_changed(&unit, &now); break;
        case RESUME: refresh_unit_resumed(&unit, &now); break;
        case TIME: case SET_CLOCK: refresh_unit_time_changed(&unit, &now); break;
        case PLACE: refresh_unit_place_changed(&unit, &now, s.place); break;
        case PERIOD: refresh_unit_settings_changed(&unit, &now, s.whole * 3600000LL, s.whole != 0, 1); break;
        }
        RefreshAnswer answer;
        refresh_unit_answer(&unit, &now, &answer);
        int32_t started = answer.fetch_reason;
        if (started != FETCH_REASON_NONE) {
            refresh_unit_fetch_started(&unit, &now, started);
            refresh_unit_answer(&unit, &now, &answer);
            CHECK(answer.fetch_reason == FETCH_REASON_NONE);
        }
        CHECK(started == s.fetch);
        CHECK(answer.state.observation == s.observation);
        CHECK(answer.state.forecast == s.forecast);
        CHECK(answer.shown->temperature == s.shown_temperature);
        CHECK(std::string(answer.tray_temperature) == s.tray);
        if (s.timer_max_min >= 0)
            CHECK(answer.timer_ms <= (uint32_t)(s.timer_max_min * 60000));
        // A failure stays named until a fetch brings weather.
        if (s.ev == END)
            CHECK(answer.failure == (s.whole ? FETCH_FAILURE_NONE : FETCH_FAILURE_NO_ANSWER));
    }
    refresh_unit_free(&unit);
    CHECK(mem_live_blocks() == live);
}

const int32_t ALL = WEATHER_PARTS_ALL, OBS = WEATHER_PART_OBSERVATION, DAYS = WEATHER_PART_DAYS;
const int E = SHOWN_EMPTY, F = SHOWN_FRESH, K = SHOWN_KEPT;
const int32_t NO = FETCH_REASON_NONE, G = FETCH_REASON_REGULAR, R = FETCH_REASON_RETRY, N = FETCH_REASON_NETWORK,
              P = FETCH_REASON_PLACE;
const char *const MINUS_7 = "\xE2\x88\x92" "7";

} // namespace

TEST_CASE("refresh timelines")
{
    const Timeline timelines[] = {
        // The forecast page cut after its date row: its days, read in
        // pieces, never replace the kept ones; the observation is fresh, the
        // forecast kept, and a retry comes within a minute.
        {"a cut page", 2, 1,
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, -7, nullptr, NO, F, F, -7, MINUS_7, 120},
          {30, MANUAL, 0, 0, nullptr, NO, E, E, 100, MINUS_7, -1},  // busy: the panel empties, the icon keeps
          {30.1, END, OBS, 5, nullptr, NO, F, K, 5, "+5", 1.01},
          {31.1, TICK, 0, 0, nullptr, R, F, K, 5, "+5", -1},
          {31.2, END, ALL, 6, nullptr, NO, F, F, 6, "+6", 120}}},
        // A period of 12 hours: the observation never blanks while fetches
        // succeed, a fetch comes before it would pass its 6 hours.
        {"a period of 12 hours", 12, 1,
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, -7, nullptr, NO, F, F, -7, MINUS_7, 350.1},
          {350, TICK, 0, 0, nullptr, NO, F, F, -7, MINUS_7, 0.11},
          {350.1, TICK, 0, 0, nullptr, G, F, F, -7, MINUS_7, -1},
          {350.2, END, ALL, -8, nullptr, NO, F, F, -8, "\xE2\x88\x92" "8", 350.1}}},
        // The refresh off: the same.
        {"refresh off", 2, 0,
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, 3, nullptr, NO, F, F, 3, "+3", 350.1},
          {350.1, TICK, 0, 0, nullptr, G, F, F, 3, "+3", -1},
          // That fetch fails: the observation goes at 6 hours of real time.
          {350.2, END, 0, 0, nullptr, NO, K, K, 3, "+3", 1.01},
          {351.2, TICK, 0, 0, nullptr, R, K, K, 3, "+3", -1},
          {360.1, END, 0, 0, nullptr, NO, K, K, 3, "+3", -1},
          {360.2, TICK, 0, 0, nullptr, NO, E, K, 100, "", -1}}},
        // A network change while a fetch runs, after complete ones: that
        // fetch may use the network that went; one follows 3 s later.
        {"a network change during a fetch", 2, 1,
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, 1, nullptr, NO, F, F, 1, "+1", -1},
          {5, MANUAL, 0, 0, nullptr, NO, E, E, 100, "+1", -1},
          {5.01, NET, 0, 0, nullptr, NO, E, E, 100, "+1", 0.06},
          {5.02, END, ALL, 2, nullptr, NO, F, F, 2, "+2", 0.06},
          {5.07, TICK, 0, 0, nullptr, N, F, F, 2, "+2", -1},
          // A change with fresh, complete weather and no fetch running: none.
          {10, END, ALL, 2, nullptr, NO, F, F, 2, "+2", -1},
          {10.5, NET, 0, 0, nullptr, NO, F, F, 2, "+2", 110}}},
        // Another place: at once the panel and the icon show it empty (the
        // thermometer) and it is fetched; its weather comes, and the way
        // back shows nothing of the old place.
        {"a place change", 2, 1,
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, -7, nullptr, NO, F, F, -7, MINUS_7, -1},
          {1, PLACE, 0, 0, SPB, P, E, E, 100, "", -1},
          {1.1, END, OBS, 4, nullptr, NO, F, E, 4, "+4", 1.01},
          {2, PLACE, 0, 0, MOSCOW, P, E, E, 100, "", -1},
          {2.1, END, 0, 0, nullptr, NO, E, E, 100, "", -1}}},
        // The clock set back 7 hours (and later forth): the observation's
        // age is real time, so it shows for 6 hours of it, never longer.
        {"the clock set back 7 hours", 24, 0,
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, -2, nullptr, NO, F, F, -2, "\xE2\x88\x92" "2", -1},
          {10, SET_CLOCK, -420, 0, nullptr, NO, F, F, -2, "\xE2\x88\x92" "2", -1},
          {30, TICK, 0, 0, nullptr, NO, F, F, -2, "\xE2\x88\x92" "2", -1},
          {350.1, TICK, 0, 0, nullptr, G, F, F, -2, "\xE2\x88\x92" "2", -1},
          // By the wall clock it is an hour old; in real time, over 6 hours.
          {360.2, TICK, 0, 0, nullptr, NO, E, F, 100, "", -1}}},
        // Back from sleep with old weather: a fetch 10 s later.
        {"resume", 2, 0,
         {{0, START, 0, 0, nullptr, NO, E, E, 100, "", -1},
          {0.1, END, ALL, 1, nullptr, NO, F, F, 1, "+1", -1},
          {200, RESUME, 0, 0, nullptr, NO, F, F, 1, "+1", 0.17},
          {200.17, TICK, 0, 0, nullptr, FETCH_REASON_RESUME, F, F, 1, "+1", -1}}},
    };
    for (const Timeline &t : timelines)
        play(t);
}

TEST_CASE("a kept forecast shows while one of its days is today or later")
{
    RefreshUnit unit;
    RefreshMoment now = {0, WALL_START, FIRST_DAY};
    refresh_unit_init(&unit, &now, 3600000, 0, 1, MOSCOW);
    refresh_unit_fetch_started(&unit, &now, FETCH_REASON_START);
    WeatherRecord *record = fetched(9);
    FetchEnd end = {record, DAYS, DAYS, FETCH_FAILURE_NONE};
    refresh_unit_fetch_ended(&unit, &now, &end);
    weather_record_destroy(record);
    struct Case {
        double today;
        int32_t forecast;
    };
    const Case cases[] = {{FIRST_DAY, F}, {FIRST_DAY + 6.4, F}, {FIRST_DAY + 6.6, E}};
    for (const Case &c : cases) {
        CAPTURE(c.today);
        now.today = c.today;
        RefreshAnswer answer;
        refresh_unit_answer(&unit, &now, &answer);
        CHECK(answer.state.forecast == c.forecast);
        CHECK(answer.open_data_credit == (c.forecast != E));
        CHECK(answer.state.observation == E);
    }
    refresh_unit_free(&unit);
}

// The fetch schedule played through whole timelines: a small driver fires
// every fetch the schedule asks for, lets each take a second and end with
// the parts the "network" gives at that moment, and feeds in the user's and
// the system's events. Each scenario lists the fetches it must produce.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "fetch/fetch_schedule.h"

namespace {

enum { EV_MANUAL, EV_PLACE, EV_NETWORK, EV_SLEEP, EV_RESUME, EV_CLOCK, EV_PERIOD };

struct Event {
    int64_t at_s;
    int kind;
    int64_t minutes;  // EV_PERIOD: the new period, 0 switches the refresh off
};

// Fetches started in [from_s, to_s) get parts, and with busy the open data
// answered 429 or 503; at any other time, everything.
struct Outage {
    int64_t from_s;
    int64_t to_s;
    int32_t parts;
    int32_t busy;
};

struct Fetch {
    int64_t at_s;
    int32_t reason;
    bool operator==(const Fetch &other) const { return at_s == other.at_s && reason == other.reason; }
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

const int64_t FETCH_TAKES_MS = 1000;

const Outage *outage_at(const Scenario &scenario, int64_t now_ms)
{
    for (const Outage &outage : scenario.outages)
        if (now_ms >= outage.from_s * 1000 && now_ms < outage.to_s * 1000)
            return &outage;
    return nullptr;
}

std::vector<Fetch> play(const Scenario &scenario)
{
    FetchSchedule schedule;
    fetch_schedule_init(&schedule, 0, scenario.period_minutes * 60000, scenario.regular_on);
    std::vector<Fetch> fetches;
    int64_t end_of_fetch = FETCH_NOT_DUE;
    int32_t parts = 0;
    int32_t busy = 0;
    bool asleep = false;

    auto start = [&](int64_t now, int32_t reason) {
        // A new fetch breaks off the one running: only the new one ends.
        fetches.push_back({now / 1000, reason});
        fetch_schedule_started(&schedule, now, reason);
        const Outage *outage = outage_at(scenario, now);
        parts = outage != nullptr ? outage->parts : WEATHER_PARTS_ALL;
        busy = outage != nullptr ? outage->busy : 0;
        end_of_fetch = now + FETCH_TAKES_MS;
    };

    if (scenario.fetch_at_start)
        start(0, FETCH_REASON_START);
    size_t next_event = 0;
    for (;;) {
        int64_t event_at = next_event < scenario.events.size() ? scenario.events[next_event].at_s * 1000
                                                                : FETCH_NOT_DUE;
        int32_t reason = FETCH_REASON_NONE;
        int64_t due = asleep ? FETCH_NOT_DUE : fetch_schedule_next(&schedule, &reason);
        int64_t now = end_of_fetch;
        if (event_at < now)
            now = event_at;
        if (due < now)
            now = due;
        if (now > scenario.end_s * 1000)
            break;
        if (now == end_of_fetch) {
            fetch_schedule_ended(&schedule, now, parts);
            if (busy)
                fetch_schedule_throttled(&schedule, now);
            end_of_fetch = FETCH_NOT_DUE;
        } else if (now == event_at) {
            const Event &event = scenario.events[next_event++];
            switch (event.kind) {
            case EV_MANUAL: start(now, FETCH_REASON_MANUAL); break;
            case EV_PLACE: start(now, FETCH_REASON_PLACE); break;
            case EV_NETWORK: fetch_schedule_network_changed(&schedule, now); break;
            case EV_SLEEP: asleep = true; break;
            case EV_RESUME: asleep = false; fetch_schedule_resumed(&schedule, now); break;
            case EV_CLOCK: fetch_schedule_clock_changed(&schedule, now); break;
            case EV_PERIOD:
                fetch_schedule_set_period(&schedule, now, event.minutes * 60000, event.minutes != 0);
                break;
            }
        } else {
            CHECK(fetch_schedule_due(&schedule, now) == reason);
            start(now, reason);
        }
    }
    return fetches;
}

std::string describe(const std::vector<Fetch> &fetches)
{
    std::string text;
    for (const Fetch &fetch : fetches)
        text += std::to_string(fetch.at_s) + ":" + std::to_string(fetch.reason) + " ";
    return text;
}

const int32_t S = FETCH_REASON_START, M = FETCH_REASON_MANUAL, P = FETCH_REASON_PLACE,
              G = FETCH_REASON_REGULAR, R = FETCH_REASON_RETRY, N = FETCH_REASON_NETWORK,
              W = FETCH_REASON_RESUME, C = FETCH_REASON_CLOCK;
const int64_t LONG = 1000000;

}  // namespace

TEST_CASE("fetch timelines")
{
    const Scenario scenarios[] = {
        // Back-off 1, 2, 5, 10, 20, 30, 30 minutes after each failed fetch's
        // end; the regular refresh at 2 h comes before the next retry would
        // and does not start the sequence afresh.
        {"offline all day", 120, 1, true, {{0, LONG, 0, 0}}, {}, 10000,
         {{0, S}, {61, R}, {182, R}, {483, R}, {1084, R}, {2285, R}, {4086, R}, {5887, R}, {7200, G},
          {9001, R}}},
        // Only a part arrives: that is retried too; a success ends it.
        {"forecast only, then everything", 120, 1, true, {{0, 100, WEATHER_PART_DAYS, 0}}, {}, 8000,
         {{0, S}, {61, R}, {182, R}, {7200, G}}},
        // A manual refresh and a change of place start the sequence afresh.
        {"user fetches restart the back-off", 120, 1, true, {{0, LONG, 0, 0}},
         {{300, EV_MANUAL, 0}, {700, EV_PLACE, 0}}, 800,
         {{0, S}, {61, R}, {182, R}, {300, M}, {361, R}, {482, R}, {700, P}, {761, R}}},
        // The network back: a fetch seconds later; a burst of changes brings
        // one; changes while the weather is fresh bring none.
        {"network comes back", 120, 1, true, {{0, 100, 0, 0}},
         {{100, EV_NETWORK, 0}, {101, EV_NETWORK, 0}, {102, EV_NETWORK, 0}, {200, EV_NETWORK, 0}}, 7300,
         {{0, S}, {61, R}, {103, N}, {7200, G}}},
        // Network fetches at most once a minute, and never lost.
        {"flapping network", 120, 1, true, {{0, 1000, 0, 0}},
         {{100, EV_NETWORK, 0}, {110, EV_NETWORK, 0}, {130, EV_NETWORK, 0}, {300, EV_NETWORK, 0}}, 1100,
         {{0, S}, {61, R}, {103, N}, {163, N}, {303, N}}},
        // Weather older than the period is refreshed on a network change.
        {"network change with old weather", 60, 0, true, {}, {{3000, EV_NETWORK, 0}, {4000, EV_NETWORK, 0}}, 9000,
         {{0, S}, {4003, N}}},
        // A long sleep: nothing fires while asleep; the resume (reported
        // twice) brings one fetch 10 s after the first report, which also
        // does the overdue regular refresh's work.
        {"long sleep", 120, 1, true, {}, {{1000, EV_SLEEP, 0}, {20000, EV_RESUME, 0}, {20008, EV_RESUME, 0}}, 28000,
         {{0, S}, {20010, W}, {27210, G}}},
        // Woken before the network is back: the retries carry on.
        {"resume into an outage", 120, 1, true, {{20000, 20100, 0, 0}},
         {{1000, EV_SLEEP, 0}, {20000, EV_RESUME, 0}}, 21000,
         {{0, S}, {20010, W}, {20071, R}, {20192, R}}},
        // A short sleep with fresh weather brings nothing.
        {"short sleep", 120, 1, true, {}, {{100, EV_SLEEP, 0}, {200, EV_RESUME, 0}}, 7300,
         {{0, S}, {7200, G}}},
        // A new day or a time change with weather older than the period.
        {"new day", 120, 0, true, {}, {{100, EV_CLOCK, 0}, {10000, EV_CLOCK, 0}}, 20000,
         {{0, S}, {10002, C}}},
        // The period restarts from the change; switched off, no regular ones.
        {"period changes", 120, 1, true, {},
         {{1000, EV_PERIOD, 60}, {5000, EV_PERIOD, 0}, {9000, EV_PERIOD, 30}}, 12700,
         {{0, S}, {4600, G}, {10800, G}, {12600, G}}},
        // A retry pending when the period changes is kept.
        {"retry survives a period change", 120, 1, true, {{0, 10, 0, 0}}, {{30, EV_PERIOD, 60}}, 100,
         {{0, S}, {61, R}}},
        // The open data busy: no 1-2-5 back-off, a retry 30 minutes after
        // each busy answer; whatever got through ends the wait.
        {"open data busy", 120, 1, true, {{0, 4000, 0, 1}}, {}, 7300,
         {{0, S}, {1801, R}, {3602, R}, {5403, R}, {7200, G}}},
        // ... and the regular refresh when it comes sooner; a busy answer
        // that still brought a part waits as long.
        {"open data busy, short period", 20, 1, true, {{0, 3000, WEATHER_PART_OBSERVATION, 1}}, {}, 4000,
         {{0, S}, {1200, G}, {2400, G}, {3600, G}}},
        // No fetch at start: nothing to keep fresh, no catch-up fetches.
        {"no fetch at start", 120, 1, false, {},
         {{100, EV_NETWORK, 0}, {200, EV_SLEEP, 0}, {300, EV_RESUME, 0}, {400, EV_CLOCK, 0}}, 7300,
         {{7200, G}}},
    };
    for (const Scenario &scenario : scenarios) {
        std::string name = scenario.name;
        CAPTURE(name);
        std::vector<Fetch> fetches = play(scenario);
        CHECK(describe(fetches) == describe(scenario.expected));
    }
}

TEST_CASE("the timer's wait")
{
    FetchSchedule schedule;
    fetch_schedule_init(&schedule, 1000, 24 * 3600000LL, 1);
    CHECK(fetch_schedule_timer_ms(&schedule, 1000) == 24u * 3600000u);
    CHECK(fetch_schedule_timer_ms(&schedule, 1000 + 24 * 3600000LL + 5) == 0u);
    CHECK(fetch_schedule_timer_ms(&schedule, -3000000000LL) == FETCH_TIMER_MAX_MS);
    fetch_schedule_set_period(&schedule, 1000, 3600000, 0);
    CHECK(fetch_schedule_timer_ms(&schedule, 1000) == FETCH_TIMER_IDLE);
    // A period of 0 from a hand-edited registry is no burst.
    fetch_schedule_set_period(&schedule, 0, 0, 1);
    CHECK(fetch_schedule_timer_ms(&schedule, 0) == 60000u);
}

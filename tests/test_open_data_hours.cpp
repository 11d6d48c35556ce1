// The days' three-hour steps from real-shaped hourly answers: whole and
// half-hour time zones, stamps off the hour, a day cut short, nulls, other
// units, figures out of range (open_data_figure's rounding and ranges),
// repeated and malformed stamps.
#include <doctest/doctest.h>

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "fetch/open_data_hours.h"
#include "fetch/open_data_parser.h"
#include "fetch/weather_parts.h"
#include "util/mem.h"

namespace {

struct Record {
    WeatherRecord *record = weather_record_create();
    ~Record() { weather_record_destroy(record); }
};

// An hour's values as JSON texts ("null" for none).
struct Hour {
    std::string stamp, temperature, code, precipitation;
};

// From 2026-12-06T00:00 on, count hours stamped at the given minute: the
// temperature H - 10.5 °C (H the hour of the day), code 3 before noon and
// 95 after, precipitation 0.05, 0.3 and 0.3 mm for hours 1, 2 and 0 of each
// three, so that each step holds -11 -8 -5 -2 2 5 8 11 degrees and 0.65 mm
// (a tie only in decimal: summed in binary it comes out below, 0.6499...).
std::vector<Hour> hours_from(int count, const char *minute = "00", int fahrenheit = 0)
{
    std::vector<Hour> hours;
    for (int i = 0; i < count; i++) {
        int hour = i % 24;
        char stamp[32], temperature[32];
        snprintf(stamp, sizeof stamp, "2026-12-%02dT%02d:%s", 6 + i / 24, hour, minute);
        double celsius = hour - 10.5;
        snprintf(temperature, sizeof temperature, "%.2f", fahrenheit ? celsius * 9 / 5 + 32 : celsius);
        static const char *const PRECIPITATION[3] = {"0.3", "0.05", "0.3"};
        hours.push_back({stamp, temperature, hour < 12 ? "3" : "95", PRECIPITATION[hour % 3]});
    }
    return hours;
}

Hour *at(std::vector<Hour> &hours, const char *stamp)
{
    for (Hour &h : hours)
        if (h.stamp == stamp)
            return &h;
    return &hours.at(hours.size());  // throws: no such hour
}

std::string answer(const std::vector<Hour> &hours, int offset, const std::string &units = "")
{
    std::string times, temperatures, codes, precipitation;
    for (size_t i = 0; i < hours.size(); i++) {
        const char *comma = i ? "," : "";
        times += comma + ("\"" + hours[i].stamp + "\"");
        temperatures += comma + hours[i].temperature;
        codes += comma + hours[i].code;
        precipitation += comma + hours[i].precipitation;
    }
    return "{\"utc_offset_seconds\":" + std::to_string(offset) +
           ",\"current\":{\"time\":\"2026-12-07T14:15\",\"temperature_2m\":1}," + units +
           "\"hourly\":{\"time\":[" + times + "],\"temperature_2m\":[" + temperatures + "],\"weather_code\":[" + codes +
           "],\"precipitation\":[" + precipitation + "]},"
           "\"daily\":{\"time\":[\"2026-12-06\",\"2026-12-07\",\"2026-12-08\",\"2026-12-09\"]}}";
}

// day, step hour, temperature, condition, tenths (NO_TEMPERATURE, 0 and
// NO_VALUE for none).
struct Step {
    int day, hour, temperature, condition, tenths;
};

const int N = NO_TEMPERATURE, X = NO_VALUE;

} // namespace

TEST_CASE("each day's steps from the hourly block")
{
    struct Case {
        const char *label;
        std::string answer;
        int has_any[3];
        std::vector<Step> steps;
    };
    // Hours changed from the plain 96: {stamp, field (0 temperature, 1 code, 2 precipitation), value}.
    auto changed = [](std::vector<std::vector<const char *>> changes) {
        std::vector<Hour> hours = hours_from(96);
        for (auto &c : changes) {
            Hour *h = at(hours, c[0]);
            (c[1][0] == 't' ? h->temperature : c[1][0] == 'c' ? h->code : h->precipitation) = c[2];
        }
        return hours;
    };
    std::vector<Hour> nulls = changed({{"2026-12-07T06:00", "t", "null"}, {"2026-12-07T04:00", "p", "null"},
                                       {"2026-12-07T09:00", "c", "null"}});
    std::vector<Hour> out_of_range =
        changed({{"2026-12-07T00:00", "t", "60.5"}, {"2026-12-07T03:00", "t", "-90.49"}, {"2026-12-07T06:00", "c", "4"},
                 {"2026-12-07T09:00", "c", "95.5"}, {"2026-12-07T02:00", "p", "-0.05"},
                 {"2026-12-07T05:00", "p", "-0.04"}, {"2026-12-07T07:00", "p", "2000.1"}});
    std::vector<Hour> repeated = hours_from(96);
    for (const char *stamp : {"2026-12-07T01:00", "2026-12-07T00:00", "2026-12-07T1:00", "2026-02-30T00:00"})
        repeated.push_back({stamp, "50", "99", "5"});
    repeated.insert(repeated.begin(), {"2026-12-08T12:00", "-50", "75", "0"});
    std::vector<Hour> midnight_missing = hours_from(96);
    midnight_missing.erase(midnight_missing.begin() + 48);
    std::vector<Hour> inches = hours_from(96, "00", 1);
    for (Hour &h : inches)
        h.precipitation = "0.01";

    const Case cases[] = {
        {"Moscow: every step, 21 closed by 00:00 of the next date, the last day's 21 without it",
         answer(hours_from(96), 10800), {1, 1, 1},
         {{0, 0, -11, 16, 7}, {0, 3, -8, 16, 7}, {0, 12, 2, 8, 7}, {0, 21, 11, 8, 7}, {1, 9, -2, 16, 7},
          {2, 18, 8, 8, 7}, {2, 21, 11, 8, X}}},
        {"Kolkata, +05:30, stamped on its whole hours", answer(hours_from(96), 19800), {1, 1, 1},
         {{0, 0, -11, 16, 7}, {1, 21, 11, 8, 7}}},
        {"stamps on the half hour name no step", answer(hours_from(96, "30"), 19800), {0, 0, 0},
         {{0, 0, N, 0, X}, {1, 12, N, 0, X}}},
        {"a day cut short after 13:00", answer(hours_from(24 * 2 + 14), 10800), {1, 1, 0},
         {{1, 9, -2, 16, 7}, {1, 12, 2, 8, X}, {1, 15, N, 0, X}, {2, 0, N, 0, X}}},
        {"00:00 missing: step 00 without its figures, the day before's 21 without its precipitation",
         answer(midnight_missing, 0), {1, 1, 1}, {{0, 21, 11, 8, X}, {1, 0, N, 0, 7}, {1, 3, -8, 16, 7}}},
        {"nulls cost only their own figure", answer(nulls, 10800), {1, 1, 1},
         {{0, 6, N, 16, 7}, {0, 3, -8, 16, X}, {0, 9, -2, 0, 7}, {0, 0, -11, 16, 7}}},
        {"out of range or not in the table is none; -0.04 mm is in range (0.0) and summed as it is (0.31 mm: 0.3)",
         answer(out_of_range, 10800), {1, 1, 1},
         {{0, 0, N, 16, X}, {0, 3, -90, 16, 3}, {0, 6, -5, 0, X}, {0, 9, -2, 0, 7}}},
        {"the first of a repeated stamp holds; malformed stamps and dates are passed over",
         answer(repeated, 10800), {1, 1, 1}, {{0, 0, -11, 16, 7}, {1, 12, -50, 2, 7}}},
        {"°F and inches converted before rounding (0.762 mm is 0.8)",
         answer(inches, 10800, "\"hourly_units\":{\"temperature_2m\":\"°F\",\"precipitation\":\"inch\"},"),
         {1, 1, 1}, {{0, 0, -11, 16, 8}, {0, 12, 2, 8, 8}, {0, 21, 11, 8, 8}}},
    };
    for (const Case &c : cases) {
        CAPTURE(c.label);
        Record r;
        REQUIRE(parse_open_data_into(r.record, c.answer.data(), (int32_t)c.answer.size(), WEATHER_PARTS_ALL, NULL) ==
                1);
        for (int d = 0; d < FORECAST_DAYS; d++)
            CHECK(r.record->days[d].hours.has_any == (d < 3 ? c.has_any[d] : 0));
        for (const Step &s : c.steps) {
            const HourStep &got = r.record->days[s.day].hours.steps[s.hour / 3];
            CAPTURE(s.day);
            CAPTURE(s.hour);
            CHECK(got.temperature == s.temperature);
            CHECK(got.condition == s.condition);
            CHECK(got.precipitation_tenths == s.tenths);
        }
    }
}

TEST_CASE("the hours go with their day: the place's offset, codes, copies, resets and the parts asked")
{
    std::string a = answer(hours_from(96), 19800);
    a.replace(a.find("\"2026-12-09\"]"), 13, "\"2026-12-09\"],\"weather_code\":[0,65,75.0,4]");
    Record r;
    REQUIRE(parse_open_data_into(r.record, a.data(), (int32_t)a.size(), WEATHER_PARTS_ALL, NULL) == 1);
    const DayHours *h = &r.record->days[0].hours;
    CHECK(h->utc_offset_seconds == 19800);
    CHECK(r.record->days[4].hours.utc_offset_seconds == NO_UTC_OFFSET);
    CHECK((h->steps[3].code == 3 && h->steps[4].code == 95));
    // The day's own code, for the heads-up: only codes the table knows.
    CHECK((h->day_code == 65 && r.record->days[1].hours.day_code == 75 && r.record->days[2].hours.day_code == NO_VALUE));

    // The kept weather copies the days with their hours; a reset clears them.
    Record copy;
    REQUIRE(weather_record_copy_parts(copy.record, r.record, WEATHER_PART_DAYS) == 1);
    CHECK(memcmp(&copy.record->days[1].hours, &r.record->days[1].hours, sizeof(DayHours)) == 0);
    weather_record_clear_parts(copy.record, WEATHER_PART_DAYS);
    CHECK((copy.record->days[1].hours.has_any == 0 && copy.record->days[1].hours.steps[7].temperature == N));

    // Asked for the observation only, the days keep theirs; without an
    // offset a day has its steps and no offset.
    std::string other = answer(hours_from(30), 0);
    REQUIRE(parse_open_data_into(r.record, other.data(), (int32_t)other.size(), WEATHER_PART_OBSERVATION, NULL) == 1);
    CHECK(r.record->days[2].hours.has_any == 1);
    other.replace(other.find("\"utc_offset_seconds\":0,"), 23, "");
    REQUIRE(parse_open_data_into(r.record, other.data(), (int32_t)other.size(), WEATHER_PARTS_ALL, NULL) == 1);
    CHECK((r.record->days[0].hours.has_any == 1 && r.record->days[0].hours.utc_offset_seconds == NO_UTC_OFFSET));
}

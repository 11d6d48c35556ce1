// The heads-up rules as a table (thresholds, the past ignored, the pages'
// days); a timeline from an open-data answer told once per place, day and
// kind, across a restart through the stored form; that form's damage
// tolerance; the strip's texts, its past steps and the tooltip's line.
#include <doctest/doctest.h>

#include <string.h>
#include <time.h>
#include <string>

#include "fetch/encoding.h"
#include "fetch/open_data_parser.h"
#include "panel/day_number.h"
#include "panel/heads_up.h"
#include "panel/hour_strip.h"
#include "util/mem.h"

namespace {

struct Record {
    WeatherRecord *record = weather_record_create();
    ~Record() { weather_record_destroy(record); }
};

int32_t key_of(int day_of_december)
{
    CalendarDate date = {2026, 12, (double)day_of_december, 12, 0, 0};
    return (int32_t)(date_to_day_number(&date) + 0.5);
}

// 2026-12-07T11:00Z: 14:00 in Moscow, today's steps 00 to 09 over.
const int64_t NOW = 1796641200;

// Today (7 December) and tomorrow, quiet, with hours at Moscow's offset.
void quiet_days(WeatherRecord *r, int with_hours)
{
    for (int d = 0; d < 2; d++) {
        ForecastDay *day = &r->days[d];
        day->date = key_of(7 + d);
        day->day_temperature = 2, day->night_temperature = -3, day->wind_speed = 5, day->condition = 16;
        day->hours.has_any = with_hours;
        day->hours.utc_offset_seconds = 10800;
        for (HourStep &s : day->hours.steps)
            s = {0, 16, 0, 3};
    }
}

std::string taken(char *text)
{
    std::string s = text != NULL ? text : "(null)";
    mem_free(text);
    return s;
}

std::string cp1251(const char *utf8)
{
    return taken(utf8_to_cp1251(utf8));
}

} // namespace

TEST_CASE("heads-up kinds: thresholds, codes, the past ignored, the pages' days")
{
    enum { CODE, TEMPERATURE, WIND, DAY_CODE, DAY_MAX, DAY_MIN, CONDITION };
    const int T = HEADS_UP_THUNDERSTORM, R = HEADS_UP_HEAVY_RAIN, F = HEADS_UP_FREEZING_RAIN,
              S = HEADS_UP_HEAVY_SNOW;
    struct Case {
        int with_hours, day, step, field, value;
        int32_t today, tomorrow;
    };
    const Case cases[] = {
        // Tomorrow from its hours: each code and threshold, and one beside it.
        {1, 1, 0, CODE, 3, 0, 0}, {1, 1, 2, CODE, 95, 0, T}, {1, 1, 7, CODE, 99, 0, T}, {1, 1, 0, CODE, 65, 0, R},
        {1, 1, 0, CODE, 63, 0, 0}, {1, 1, 0, CODE, 82, 0, R}, {1, 1, 0, CODE, 81, 0, 0}, {1, 1, 0, CODE, 66, 0, F},
        {1, 1, 0, CODE, 67, 0, F}, {1, 1, 0, CODE, 57, 0, 0}, {1, 1, 0, CODE, 75, 0, S}, {1, 1, 0, CODE, 86, 0, S},
        {1, 1, 0, CODE, 73, 0, 0}, {1, 1, 0, WIND, 15, 0, HEADS_UP_WIND}, {1, 1, 0, WIND, 14, 0, 0},
        {1, 1, 3, TEMPERATURE, -25, 0, HEADS_UP_FROST}, {1, 1, 3, TEMPERATURE, -24, 0, 0},
        {1, 1, 5, TEMPERATURE, 30, 0, HEADS_UP_HEAT}, {1, 1, 5, TEMPERATURE, 29, 0, 0},
        // Tomorrow's own code, minimum and maximum.
        {1, 1, 0, DAY_CODE, 75, 0, S}, {1, 1, 0, DAY_MIN, -26, 0, HEADS_UP_FROST}, {1, 1, 0, DAY_MAX, 31, 0, HEADS_UP_HEAT},
        // Today: the step under way and after it count; those over, and the
        // day's own code and maximum (which may lie in them), do not.
        {1, 0, 4, CODE, 95, T, 0}, {1, 0, 7, TEMPERATURE, -30, HEADS_UP_FROST, 0}, {1, 0, 3, CODE, 95, 0, 0},
        {1, 0, 0, TEMPERATURE, 35, 0, 0}, {1, 0, 0, DAY_CODE, 95, 0, 0}, {1, 0, 0, DAY_MAX, 33, 0, 0},
        {1, 0, 0, WIND, 20, HEADS_UP_WIND, 0},  // the day's strongest: no hourly wind
        // The pages' days by their pictures and figures.
        {0, 0, 0, CONDITION, 8, T, 0}, {0, 1, 0, CONDITION, 18, 0, T}, {0, 1, 0, CONDITION, 2, 0, S},
        {0, 1, 0, CONDITION, 1, 0, 0}, {0, 1, 0, DAY_MIN, -27, 0, HEADS_UP_FROST},
    };
    for (const Case &c : cases) {
        CAPTURE(c.field);
        CAPTURE(c.value);
        Record r;
        quiet_days(r.record, c.with_hours);
        ForecastDay *day = &r.record->days[c.day];
        HourStep *step = &day->hours.steps[c.step];
        int32_t *fields[] = {&step->code, &step->temperature, NULL, &day->hours.day_code, NULL, NULL, NULL};
        int16_t *day_fields[] = {NULL, NULL, &day->wind_speed, NULL, &day->day_temperature, &day->night_temperature,
                                 &day->condition};
        if (fields[c.field] != NULL)
            *fields[c.field] = c.value;
        else
            *day_fields[c.field] = (int16_t)c.value;
        // Without hours the place's time is this machine's: 14:00 on the 7th.
        struct tm t;
        memset(&t, 0, sizeof t);
        t.tm_hour = 14, t.tm_mday = 7, t.tm_mon = 11, t.tm_year = 126, t.tm_isdst = -1;
        HeadsUpDay days[2];
        heads_up_scan(r.record, c.with_hours ? NOW : (int64_t)mktime(&t), days);
        CHECK(days[0].kinds == c.today);
        CHECK(days[1].kinds == c.tomorrow);
        CHECK(days[0].day_key == key_of(7));
    }
}

TEST_CASE("told once per place, day and kind, across a restart; the past and other places apart")
{
    // Tomorrow (the 8th) a thunderstorm from 15:00 and 16 m/s; today 35
    // degrees at 09:00, over at 14:00.
    std::string times, temperatures, codes;
    for (int i = 0; i < 72; i++) {
        char stamp[40];
        snprintf(stamp, sizeof stamp, "%s\"2026-12-%02dT%02d:00\"", i ? "," : "", 6 + i / 24, i % 24);
        times += stamp;
        temperatures += (i ? "," : "") + std::string(i == 24 + 9 ? "35" : "4");
        codes += (i ? "," : "") + std::string(i >= 48 + 15 ? "95" : "3");
    }
    std::string answer = "{\"utc_offset_seconds\":10800,\"current\":{\"time\":\"2026-12-07T14:00\"},\"hourly\":{"
                         "\"time\":[" + times + "],\"temperature_2m\":[" + temperatures + "],\"weather_code\":[" +
                         codes + "]},\"daily\":{\"time\":[\"2026-12-07\",\"2026-12-08\"],\"wind_speed_10m_max\":[3,16]}}";
    Record r;
    REQUIRE(parse_open_data_into(r.record, answer.data(), (int32_t)answer.size(), WEATHER_PARTS_ALL, NULL) == 1);
    HeadsUpTold told;
    heads_up_told_decode(NULL, 0, &told);
    const char *moscow = "russia/moscow/moscow";
    int32_t day_key = 0;
    CHECK(taken(heads_up_next_notice(r.record, moscow, "Moscow", NOW, &told, &day_key)) ==
          cp1251("Moscow, завтра: гроза, ветер до 16 м/с"));
    CHECK(day_key == key_of(8));
    CHECK(taken(heads_up_next_notice(r.record, moscow, "Moscow", NOW, &told, NULL)) == "(null)");
    // A restart brings back what was told; another place is told apart.
    uint8_t stored[HEADS_UP_TOLD_BYTES];
    HeadsUpTold restarted;
    heads_up_told_decode(stored, heads_up_told_encode(&told, stored, sizeof stored), &restarted);
    CHECK(taken(heads_up_next_notice(r.record, moscow, "Moscow", NOW, &restarted, NULL)) == "(null)");
    CHECK(taken(heads_up_next_notice(r.record, "russia/tver/tver", "Tver", NOW, &restarted, NULL)) ==
          cp1251("Tver, завтра: гроза, ветер до 16 м/с"));
    // The next day the storm is today's, told already; a new kind alone.
    r.record->days[1].hours.steps[7].temperature = -26;
    CHECK(taken(heads_up_next_notice(r.record, moscow, "Moscow", NOW + 86400, &restarted, NULL)) ==
          cp1251("Moscow, сегодня: мороз до -26°"));
    // Once the day is past, nothing is told and its entries go.
    CHECK(taken(heads_up_next_notice(r.record, moscow, "Moscow", NOW + 3 * 86400, &restarted, NULL)) == "(null)");
    CHECK(heads_up_tell(&restarted, 1, key_of(10), 0, key_of(10)) == 0);
    CHECK(restarted.count == 0);

    // Every kind's words in order; the tooltip's line after the place's.
    HeadsUpDay day = {1, 0, 0, 17, -27, 32};
    CHECK(taken(heads_up_text("Kazan", &day, HEADS_UP_KINDS)) ==
          cp1251("Kazan, сегодня: гроза, сильный дождь, ледяной дождь, сильный снег, ветер до 17 м/с, "
                 "мороз до -27°, жара до +32°"));
    HeadsUpDay days[2] = {{1, 0, 0, 0, 0, 0}, {2, 1, HEADS_UP_HEAVY_SNOW, 0, 0, 0}};
    CHECK(taken(heads_up_tip_line(days)) == cp1251("Завтра: сильный снег"));
    CHECK(taken(tip_with_heads_up("Velvane\nMoscow: -7\ndata", "Storm coming", 30)) ==
          "Velvane\nMoscow: -7\nStorm\x85\ndata");
    CHECK(taken(tip_with_heads_up("Velvane\nMoscow: -7\ndata", "Storm", 22)) == "Velvane\nMoscow: -7\ndata");
}

TEST_CASE("the stored form: bounded, pruned, and tolerant of damage")
{
    HeadsUpTold told;
    memset(&told, 0, sizeof told);
    for (int i = 0; i < HEADS_UP_TOLD_MAX + 5; i++)
        CHECK(heads_up_tell(&told, 7, 9000 + i, HEADS_UP_WIND, 9000) == HEADS_UP_WIND);
    CHECK(told.count == HEADS_UP_TOLD_MAX);
    for (int i = 0; i < told.count; i++)
        CHECK(told.entries[i].day_key >= 9005);  // the earliest days gave way
    uint8_t bytes[HEADS_UP_TOLD_BYTES];
    CHECK(heads_up_told_encode(&told, bytes, HEADS_UP_TOLD_BYTES - 1) == 0);
    REQUIRE(heads_up_told_encode(&told, bytes, sizeof bytes) == HEADS_UP_TOLD_BYTES);
    HeadsUpTold back;
    // byte changed (or, with cut, the length), entries read back
    const struct {
        uint32_t at;
        int cut;
        int32_t count;
    } damages[] = {{0, 0, HEADS_UP_TOLD_MAX}, {4 + 2 * 10 + 5, 0, HEADS_UP_TOLD_MAX - 1}, {4 + 9, 0, HEADS_UP_TOLD_MAX - 1},
                   {0, 1, 0}, {2, 0, 0}, {4 + 4 * 10 + 3, 1, 4}, {3, 1, 0}};
    for (const auto &d : damages) {
        CAPTURE(d.at);
        uint8_t copy[sizeof bytes];
        memcpy(copy, bytes, sizeof bytes);
        if (!d.cut && d.count < HEADS_UP_TOLD_MAX)
            copy[d.at] ^= 0x10;
        heads_up_told_decode(copy, d.cut ? d.at : (uint32_t)sizeof copy, &back);
        CHECK(back.count == d.count);
        if (d.count == HEADS_UP_TOLD_MAX)
            CHECK(memcmp(back.entries, told.entries, sizeof told.entries) == 0);
    }
}

TEST_CASE("the strip's texts and its past steps")
{
    char buffer[HOUR_STRIP_TEXT_SIZE];
    const struct {
        int32_t tenths;
        const char *text;
    } precipitation[] = {{NO_VALUE, ""}, {0, ""}, {3, "0,3"}, {25, "2,5"}, {99, "9,9"}, {100, "10"}, {124, "12"},
                         {125, "13"}, {20000, "2000"}};
    for (const auto &p : precipitation)
        CHECK(std::string(hour_precipitation_text(p.tenths, buffer, sizeof buffer)) == p.text);
    CHECK(std::string(hour_step_label(7, buffer, sizeof buffer)) == "21");

    Record r;
    quiet_days(r.record, 1);
    // offset, moment, day, steps past: 14:00, 13:59:59 and 15:00 in Moscow;
    // 16:30 at +05:30; 01:00 at -10; 23:00 of the 6th at -12; 01:00 of the 8th at +14.
    const int64_t cases[][4] = {{10800, NOW, 0, 4},  {10800, NOW - 1, 0, 4}, {10800, NOW + 3600, 0, 5},
                                {10800, NOW, 1, 0},  {10800, NOW + 86400, 0, 8}, {19800, NOW, 0, 5},
                                {-36000, NOW, 0, 0}, {-43200, NOW, 0, 0},     {50400, NOW, 0, 8}};
    for (const auto &c : cases) {
        CAPTURE(c[0]);
        r.record->days[c[2]].hours.utc_offset_seconds = (int32_t)c[0];
        CHECK(hour_steps_past(&r.record->days[c[2]], c[1]) == c[3]);
    }
    CHECK(hour_strip_day(r.record, key_of(8) - 0.5) == 1);
    // The panel's strip: the shown day's steps and how many are past.
    int32_t muted = -1;
    CHECK(hour_strip_steps(r.record, key_of(7), NOW, &muted) == r.record->days[0].hours.steps);
    CHECK(muted == 8);
    CHECK(hour_strip_steps(r.record, key_of(9), NOW, &muted) == NULL);
    CHECK(muted == 0);
    CHECK(hour_strip_steps(NULL, key_of(8), NOW, &muted) == NULL);
    // The tooltip's line while a storm lies ahead (by Moscow's date again),
    // none without a record.
    r.record->days[0].hours.utc_offset_seconds = r.record->days[1].hours.utc_offset_seconds = 10800;
    const char *tip = "Velvane\nMoscow: -7\ndata";
    CHECK(taken(tip_with_severe_weather(tip, r.record, NOW)) == tip);
    r.record->days[1].hours.steps[6].code = 95;
    CHECK(taken(tip_with_severe_weather(tip, r.record, NOW)) == cp1251("Velvane\nMoscow: -7\nЗавтра: гроза\ndata"));
    CHECK(taken(tip_with_severe_weather(tip, NULL, NOW)) == tip);
    r.record->days[1].hours.has_any = 0;
    CHECK(hour_strip_day(r.record, key_of(8) - 0.5) == -1);
    CHECK(hour_strip_steps(r.record, key_of(8), NOW, &muted) == NULL);
    CHECK(hour_steps_past(&r.record->days[1], NOW) == 0);
}

// The heads-up rules as a table (thresholds, kinds, the past ignored, the
// pages' days), a timeline through the open-data reader told once per place,
// day and kind also across a restart through the stored form, that form's
// damage tolerance, and the strip's texts and past steps.
#include <doctest/doctest.h>

#include <stdlib.h>
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

double noon_of(int day_of_december)
{
    CalendarDate date = {2026, 12, (double)day_of_december, 12, 0, 0};
    return date_to_day_number(&date);
}

// 2026-12-07 at 11:00 UTC: 14:00 in Moscow (+3), so today's steps 00 to 09
// are over and step 12 is under way.
const int64_t NOW = 1796641200;
const int32_t MOSCOW = 10800;

// Today (7 December) and tomorrow with quiet hours at Moscow's offset.
void quiet_days(WeatherRecord *r, int with_hours)
{
    for (int d = 0; d < 2; d++) {
        ForecastDay *day = &r->days[d];
        day->date = noon_of(7 + d);
        day->day_temperature = 2;
        day->night_temperature = -3;
        day->wind_speed = 5;
        day->condition = 16;
        if (!with_hours)
            continue;
        day->hours.has_any = 1;
        day->hours.utc_offset_seconds = MOSCOW;
        for (HourStep &s : day->hours.steps) {
            s.temperature = 0;
            s.code = 3;
            s.condition = 16;
        }
    }
}

// An hour of a day of December 2026 in this machine's own time.
int64_t local_moment(int day_of_december, int hour)
{
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = day_of_december;
    t.tm_hour = hour;
    t.tm_isdst = -1;
    return (int64_t)mktime(&t);
}

std::string cp1251(const char *utf8)
{
    char *text = utf8_to_cp1251(utf8);
    std::string s = text != NULL ? text : "";
    mem_free(text);
    return s;
}

std::string taken(char *text)
{
    std::string s = text != NULL ? text : "(null)";
    mem_free(text);
    return s;
}

} // namespace

TEST_CASE("heads-up kinds: thresholds, codes, the past ignored, the pages' days")
{
    enum { CODE, TEMPERATURE, WIND, DAY_CODE, DAY_MAX, DAY_MIN, CONDITION };
    struct Case {
        const char *label;
        int with_hours, day, step, field, value;
        int32_t today, tomorrow;
    };
    const Case cases[] = {
        {"quiet", 1, 1, 0, CODE, 3, 0, 0},
        {"thunderstorm 95", 1, 1, 2, CODE, 95, 0, HEADS_UP_THUNDERSTORM},
        {"thunderstorm 99", 1, 1, 7, CODE, 99, 0, HEADS_UP_THUNDERSTORM},
        {"heavy rain 65", 1, 1, 0, CODE, 65, 0, HEADS_UP_HEAVY_RAIN},
        {"rain 63 is not heavy", 1, 1, 0, CODE, 63, 0, 0},
        {"heavy showers 82", 1, 1, 0, CODE, 82, 0, HEADS_UP_HEAVY_RAIN},
        {"showers 81 are not", 1, 1, 0, CODE, 81, 0, 0},
        {"freezing rain 66", 1, 1, 0, CODE, 66, 0, HEADS_UP_FREEZING_RAIN},
        {"freezing rain 67", 1, 1, 0, CODE, 67, 0, HEADS_UP_FREEZING_RAIN},
        {"freezing drizzle 57 is not", 1, 1, 0, CODE, 57, 0, 0},
        {"heavy snow 75", 1, 1, 0, CODE, 75, 0, HEADS_UP_HEAVY_SNOW},
        {"heavy snow showers 86", 1, 1, 0, CODE, 86, 0, HEADS_UP_HEAVY_SNOW},
        {"snow 73 is not heavy", 1, 1, 0, CODE, 73, 0, 0},
        {"wind 15 m/s", 1, 1, 0, WIND, 15, 0, HEADS_UP_WIND},
        {"wind 14 m/s", 1, 1, 0, WIND, 14, 0, 0},
        {"-25 degrees", 1, 1, 3, TEMPERATURE, -25, 0, HEADS_UP_FROST},
        {"-24 degrees", 1, 1, 3, TEMPERATURE, -24, 0, 0},
        {"30 degrees", 1, 1, 5, TEMPERATURE, 30, 0, HEADS_UP_HEAT},
        {"29 degrees", 1, 1, 5, TEMPERATURE, 29, 0, 0},
        {"tomorrow's daily code", 1, 1, 0, DAY_CODE, 75, 0, HEADS_UP_HEAVY_SNOW},
        {"tomorrow's minimum", 1, 1, 0, DAY_MIN, -26, 0, HEADS_UP_FROST},
        {"tomorrow's maximum", 1, 1, 0, DAY_MAX, 31, 0, HEADS_UP_HEAT},
        {"today's step under way counts", 1, 0, 4, CODE, 95, HEADS_UP_THUNDERSTORM, 0},
        {"today's last step", 1, 0, 7, TEMPERATURE, -30, HEADS_UP_FROST, 0},
        {"today's step over is past", 1, 0, 3, CODE, 95, 0, 0},
        {"today's first step is past", 1, 0, 0, TEMPERATURE, 35, 0, 0},
        {"today's daily code may lie in the past", 1, 0, 0, DAY_CODE, 95, 0, 0},
        {"today's maximum may lie in the past", 1, 0, 0, DAY_MAX, 33, 0, 0},
        {"today's wind is the day's strongest", 1, 0, 0, WIND, 20, HEADS_UP_WIND, 0},
        {"pages: lightning and rain", 0, 0, 0, CONDITION, 8, HEADS_UP_THUNDERSTORM, 0},
        {"pages: lightning", 0, 1, 0, CONDITION, 18, 0, HEADS_UP_THUNDERSTORM},
        {"pages: heavy snow", 0, 1, 0, CONDITION, 2, 0, HEADS_UP_HEAVY_SNOW},
        {"pages: heavy rain's picture tells no strength", 0, 1, 0, CONDITION, 1, 0, 0},
        {"pages: a hard frost", 0, 1, 0, DAY_MIN, -27, 0, HEADS_UP_FROST},
    };
    for (const Case &c : cases) {
        CAPTURE(c.label);
        Record r;
        quiet_days(r.record, c.with_hours);
        ForecastDay *day = &r.record->days[c.day];
        HourStep *step = &day->hours.steps[c.step];
        switch (c.field) {
        case CODE: step->code = c.value; break;
        case TEMPERATURE: step->temperature = c.value; break;
        case WIND: day->wind_speed = (int16_t)c.value; break;
        case DAY_CODE: day->hours.day_code = c.value; break;
        case DAY_MAX: day->day_temperature = (int16_t)c.value; break;
        case DAY_MIN: day->night_temperature = (int16_t)c.value; break;
        case CONDITION: day->condition = (int16_t)c.value; break;
        }
        HeadsUpDay days[2];
        // Without hours the place's time is this machine's.
        heads_up_scan(r.record, c.with_hours ? NOW : local_moment(7, 14), days);
        CHECK(days[0].kinds == c.today);
        CHECK(days[1].kinds == c.tomorrow);
        CHECK(days[0].day_key == (int32_t)(noon_of(7) + 0.5));
        CHECK(days[1].is_tomorrow == 1);
    }
}

TEST_CASE("the notice's text and the tooltip's line")
{
    HeadsUpDay day = {1, 1, 0, 17, -27, 32};
    CHECK(taken(heads_up_text(cp1251("Москва").c_str(), &day, HEADS_UP_HEAVY_SNOW | HEADS_UP_WIND)) ==
          cp1251("Москва, завтра: сильный снег, ветер до 17 м/с"));
    day.is_tomorrow = 0;
    CHECK(taken(heads_up_text("Kazan", &day, HEADS_UP_KINDS)) ==
          cp1251("Kazan, сегодня: гроза, сильный дождь, ледяной дождь, сильный снег, ветер до 17 м/с, "
                 "мороз до -27°, жара до +32°"));
    CHECK(taken(heads_up_text("Kazan", &day, 0)) == "(null)");
    HeadsUpDay days[2] = {{1, 0, 0, 0, 0, 0}, {2, 1, HEADS_UP_THUNDERSTORM, 0, 0, 0}};
    CHECK(taken(heads_up_tip_line(days)) == cp1251("Завтра: гроза"));
    days[0].kinds = HEADS_UP_FROST;
    days[0].coldest = -31;
    CHECK(taken(heads_up_tip_line(days)) == cp1251("Сегодня: мороз до -31°"));
    days[0].kinds = days[1].kinds = 0;
    CHECK(taken(heads_up_tip_line(days)) == "(null)");

    // After the place's line, cut to fit; a tip without room keeps its own.
    CHECK(taken(tip_with_heads_up("Velvane\nMoscow: -7\ndata 14:35", "Storm", 127)) ==
          "Velvane\nMoscow: -7\nStorm\ndata 14:35");
    CHECK(taken(tip_with_heads_up("Velvane\nMoscow", "Storm", 127)) == "Velvane\nMoscow\nStorm");
    CHECK(taken(tip_with_heads_up("Velvane\nMoscow: -7\ndata", "Storm coming", 30)) ==
          "Velvane\nMoscow: -7\nStorm\x85\ndata");
    CHECK(taken(tip_with_heads_up("Velvane\nMoscow: -7\ndata", "Storm", 22)) == "Velvane\nMoscow: -7\ndata");
}

TEST_CASE("told once per place, day and kind, across a restart; the past and other places apart")
{
    // An open-data answer: tomorrow (8 December) a thunderstorm from 15:00
    // and 16 m/s; today a heat step at 09:00, already past at 14:00.
    std::string times, temperatures, codes, rain;
    for (int i = 0; i < 72; i++) {
        char stamp[40];
        snprintf(stamp, sizeof stamp, "%s\"2026-12-%02dT%02d:00\"", i ? "," : "", 6 + i / 24, i % 24);
        times += stamp;
        temperatures += (i ? "," : "") + std::string(i == 24 + 9 ? "35" : "4");
        codes += (i ? "," : "") + std::string(i >= 48 + 15 ? "95" : "3");
        rain += i ? ",0" : "0";
    }
    std::string answer = "{\"utc_offset_seconds\":10800,\"current\":{\"time\":\"2026-12-07T14:00\"},"
                         "\"hourly\":{\"time\":[" + times + "],\"temperature_2m\":[" + temperatures +
                         "],\"weather_code\":[" + codes + "],\"precipitation\":[" + rain +
                         "]},\"daily\":{\"time\":[\"2026-12-07\",\"2026-12-08\"],\"wind_speed_10m_max\":[3,16]}}";
    Record r;
    REQUIRE(parse_open_data_into(r.record, answer.data(), (int32_t)answer.size(), WEATHER_PARTS_ALL, NULL) == 1);

    HeadsUpTold told;
    heads_up_told_decode(NULL, 0, &told);
    int32_t day_key = 0;
    CHECK(taken(heads_up_next_notice(r.record, "russia/moscow/moscow", "Moscow", NOW, &told, &day_key)) ==
          cp1251("Moscow, завтра: гроза, ветер до 16 м/с"));
    CHECK(day_key == (int32_t)(noon_of(8) + 0.5));
    CHECK(taken(heads_up_next_notice(r.record, "russia/moscow/moscow", "Moscow", NOW, &told, &day_key)) == "(null)");

    // A restart: the stored form brings back what was told.
    uint8_t stored[HEADS_UP_TOLD_BYTES];
    uint32_t length = heads_up_told_encode(&told, stored, sizeof stored);
    HeadsUpTold restarted;
    heads_up_told_decode(stored, length, &restarted);
    CHECK(taken(heads_up_next_notice(r.record, "russia/moscow/moscow", "Moscow", NOW, &restarted, NULL)) ==
          "(null)");
    // Another place is told apart.
    CHECK(taken(heads_up_next_notice(r.record, "russia/tver/tver", "Tver", NOW, &restarted, NULL)) ==
          cp1251("Tver, завтра: гроза, ветер до 16 м/с"));
    // The next day the storm is today's: told already. A new kind is told alone.
    r.record->days[1].hours.steps[7].temperature = -26;
    const int64_t NEXT_DAY = NOW + 86400;
    CHECK(taken(heads_up_next_notice(r.record, "russia/moscow/moscow", "Moscow", NEXT_DAY, &restarted, NULL)) ==
          cp1251("Moscow, сегодня: мороз до -26°"));
    // The day after, the storm day is past: nothing, and nothing of it kept.
    CHECK(taken(heads_up_next_notice(r.record, "russia/moscow/moscow", "Moscow", NOW + 3 * 86400, &restarted,
                                     NULL)) == "(null)");
    HeadsUpTold pruned = restarted;
    heads_up_tell(&pruned, 1, (int32_t)(noon_of(10) + 0.5), 0, (int32_t)(noon_of(10) + 0.5));
    CHECK(pruned.count == 0);
}

TEST_CASE("the stored form: bounded, pruned, and tolerant of damage")
{
    HeadsUpTold told;
    memset(&told, 0, sizeof told);
    for (int i = 0; i < HEADS_UP_TOLD_MAX + 5; i++)
        CHECK(heads_up_tell(&told, 7, 9000 + i, HEADS_UP_WIND, 9000) == HEADS_UP_WIND);
    CHECK(told.count == HEADS_UP_TOLD_MAX);
    // The earliest days gave way to the later ones.
    for (int i = 0; i < told.count; i++)
        CHECK(told.entries[i].day_key >= 9005);
    uint8_t bytes[HEADS_UP_TOLD_BYTES + 16];
    uint32_t length = heads_up_told_encode(&told, bytes, sizeof bytes);
    CHECK(length == HEADS_UP_TOLD_BYTES);
    CHECK(heads_up_told_encode(&told, bytes, HEADS_UP_TOLD_BYTES - 1) == 0);

    HeadsUpTold back;
    heads_up_told_decode(bytes, length, &back);
    REQUIRE(back.count == told.count);
    CHECK(memcmp(back.entries, told.entries, sizeof told.entries) == 0);

    struct Damage {
        const char *label;
        uint32_t at;    // the byte changed, or the new length when cut is set
        int cut;
        int32_t count;  // entries read back
    };
    const Damage damages[] = {
        {"a flipped bit in the third entry drops that entry", 4 + 2 * 10 + 5, 0, HEADS_UP_TOLD_MAX - 1},
        {"a flipped check byte drops its entry", 4 + 9, 0, HEADS_UP_TOLD_MAX - 1},
        {"another magic gives nothing", 0, 0, 0},
        {"another version gives nothing", 2, 0, 0},
        {"cut inside the fifth entry keeps four", 4 + 4 * 10 + 3, 1, 4},
        {"cut inside the header gives nothing", 3, 1, 0},
    };
    for (const Damage &d : damages) {
        CAPTURE(d.label);
        uint8_t copy[sizeof bytes];
        memcpy(copy, bytes, sizeof bytes);
        uint32_t n = length;
        if (d.cut)
            n = d.at;
        else
            copy[d.at] ^= 0x10;
        heads_up_told_decode(copy, n, &back);
        CHECK(back.count == d.count);
    }
    // Any bytes at all decode to a bounded ledger that encodes within bounds.
    srand(24);
    for (int round = 0; round < 3000; round++) {
        uint8_t noise[HEADS_UP_TOLD_BYTES + 8];
        for (uint8_t &b : noise)
            b = (uint8_t)rand();
        if (round % 2) {
            noise[0] = 'V', noise[1] = 'H', noise[2] = 1;
        }
        heads_up_told_decode(noise, (uint32_t)(rand() % (int)sizeof noise), &back);
        CHECK(back.count >= 0);
        CHECK(back.count <= HEADS_UP_TOLD_MAX);
        CHECK(heads_up_told_encode(&back, bytes, sizeof bytes) <= HEADS_UP_TOLD_BYTES);
    }
}

TEST_CASE("the strip's texts and its past steps")
{
    char buffer[HOUR_STRIP_TEXT_SIZE];
    const struct {
        int32_t tenths;
        const char *text;
    } precipitation[] = {{NO_VALUE, ""}, {0, ""}, {3, "0,3"}, {25, "2,5"}, {99, "9,9"}, {100, "10"},
                         {124, "12"}, {125, "13"}, {20000, "2000"}};
    for (const auto &p : precipitation) {
        CAPTURE(p.tenths);
        CHECK(std::string(hour_precipitation_text(p.tenths, buffer, sizeof buffer)) == p.text);
    }
    CHECK(std::string(hour_step_label(0, buffer, sizeof buffer)) == "00");
    CHECK(std::string(hour_step_label(7, buffer, sizeof buffer)) == "21");

    Record r;
    quiet_days(r.record, 1);
    // 14:00 in Moscow: four steps over today, none tomorrow, all yesterday.
    const struct {
        int32_t offset;
        int64_t now;
        int day;
        int32_t past;
    } pasts[] = {
        {MOSCOW, NOW, 0, 4},
        {MOSCOW, NOW - 1, 0, 4},          // 13:59:59
        {MOSCOW, NOW + 3600, 0, 5},       // 15:00: step 12 is over
        {MOSCOW, NOW, 1, 0},
        {MOSCOW, NOW + 86400, 0, 8},
        {19800, NOW, 0, 5},               // 16:30 at +05:30
        {-36000, NOW, 0, 0},              // 01:00 at -10
        {-43200, NOW, 0, 0},              // 23:00 on 6 December at -12: the day is its tomorrow
        {50400, NOW, 0, 8},               // 01:00 on 8 December at +14: the day is its yesterday
    };
    for (const auto &p : pasts) {
        CAPTURE(p.offset);
        CAPTURE(p.now);
        r.record->days[p.day].hours.utc_offset_seconds = p.offset;
        CHECK(hour_steps_past(&r.record->days[p.day], p.now) == p.past);
    }
    CHECK(hour_strip_day(r.record, noon_of(8) - 0.5) == 1);
    r.record->days[1].hours.has_any = 0;
    CHECK(hour_strip_day(r.record, noon_of(8) - 0.5) == -1);
    CHECK(hour_steps_past(&r.record->days[1], NOW) == 0);
}

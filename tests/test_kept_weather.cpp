// The parts of a record, the line with the time of kept weather, and the
// notification icon's texts (the kept weather through whole runs of
// fetches is test_refresh_unit's).
#include <doctest/doctest.h>

#include <string.h>
#include <time.h>

#include <string>

#include "fetch/encoding.h"
#include "fetch/weather_parts.h"
#include "panel/kept_weather.h"
#include "panel/tray_text.h"
#include "util/mem.h"

namespace {

const double FIRST_DAY = 9837.0;  // 7 December 2026

std::string cp1251(const char *utf8)
{
    char *text = utf8_to_cp1251(utf8);
    std::string result = text != nullptr ? text : "(null)";
    mem_free(text);
    return result;
}

std::string taken(char *text)
{
    std::string result = text != nullptr ? text : "(null)";
    mem_free(text);
    return result;
}

// A record as a fetch leaves it, holding the parts asked for.
WeatherRecord *fetched(int32_t parts, int temperature)
{
    WeatherRecord *record = weather_record_create();
    REQUIRE(record != nullptr);
    if (parts & WEATHER_PART_OBSERVATION) {
        record->temperature = (int16_t)temperature;
        weather_comment_store(&record->comment, dup_string("небольшой снег"));
    }
    if (parts & WEATHER_PART_DAYS)
        for (int i = 0; i < FORECAST_DAYS; i++) {
            record->days[i].date = FIRST_DAY + i;
            record->days[i].day_temperature = (int16_t)(temperature + i);
            weather_comment_store(&record->days[i].comment, dup_string("ясно"));
        }
    return record;
}

// Seconds since 1970 of a local date and time.
int64_t local_moment(int year, int month, int day, int hour, int minute)
{
    struct tm local;
    memset(&local, 0, sizeof local);
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    return (int64_t)mktime(&local);
}

}  // namespace

TEST_CASE("which parts a record holds, and copies that own their comments")
{
    int32_t live = mem_live_blocks();
    WeatherRecord *empty = weather_record_create();
    CHECK(weather_record_parts(empty) == 0);
    CHECK(weather_record_parts(nullptr) == 0);
    // A forecast page whose date could not be read names no real day.
    for (int i = 1; i < FORECAST_DAYS; i++)
        empty->days[i].date = i;
    CHECK(weather_record_parts(empty) == 0);
    empty->humidity = 0;
    CHECK(weather_record_parts(empty) == WEATHER_PART_OBSERVATION);

    WeatherRecord *full = fetched(WEATHER_PARTS_ALL, -7);
    CHECK(weather_record_parts(full) == WEATHER_PARTS_ALL);
    REQUIRE(weather_record_copy_parts(empty, full, WEATHER_PART_DAYS) == 1);
    CHECK(weather_record_parts(empty) == WEATHER_PARTS_ALL);
    CHECK(empty->temperature == 100);
    weather_record_destroy(full);
    CHECK(strcmp(weather_comment(&empty->days[6].comment), "ясно") == 0);
    weather_record_clear_parts(empty, WEATHER_PART_DAYS);
    CHECK(weather_record_parts(empty) == WEATHER_PART_OBSERVATION);
    CHECK(weather_comment(&empty->days[0].comment) == nullptr);
    weather_record_destroy(empty);
    CHECK(mem_live_blocks() == live);
}

TEST_CASE("the time of the data and the icon's texts")
{
    int64_t moment = local_moment(2026, 12, 7, 14, 35);
    CHECK(taken(data_time_text(moment, local_moment(2026, 12, 7, 23, 59), 0)) == cp1251("Данные от 14:35"));
    CHECK(taken(data_time_text(moment, local_moment(2026, 12, 8, 0, 1), 0)) ==
          cp1251("Данные от 7 декабря, 14:35"));
    CHECK(taken(data_time_text(local_moment(2026, 12, 7, 9, 5), moment, 1)) == cp1251("данные от 09:05"));

    const std::string title = cp1251("Velvane - Прогноз погоды");
    const std::string moscow = cp1251("Москва");
    WeatherRecord *shown = fetched(WEATHER_PARTS_ALL, -7);
    ShownWeather state = {SHOWN_KEPT, SHOWN_FRESH, moment, moment};
    int64_t now = moment + 600;
    CHECK(taken(tray_tip_text(title.c_str(), moscow.c_str(), shown, &state, now)) ==
          cp1251("Velvane - Прогноз погоды\nМосква: -7°, небольшой снег\nданные от 14:35"));
    shown->temperature = 12;
    weather_comment_store(&shown->comment, nullptr);
    CHECK(taken(tray_tip_text(title.c_str(), moscow.c_str(), shown, &state, now)) ==
          cp1251("Velvane - Прогноз погоды\nМосква: +12°\nданные от 14:35"));
    shown->temperature = 100;
    weather_comment_store(&shown->comment, dup_string("снег ❄\nветер"));
    CHECK(taken(tray_tip_text(title.c_str(), moscow.c_str(), shown, &state, now)) ==
          cp1251("Velvane - Прогноз погоды\nМосква: снег ? ветер\nданные от 14:35"));

    // A long comment gives way; the time line stays, 127 characters in all.
    std::string longer;
    for (int i = 0; i < 60; i++)
        longer += "снег ";
    shown->temperature = 0;
    weather_comment_store(&shown->comment, dup_string(longer.c_str()));
    std::string tip = taken(tray_tip_text(title.c_str(), moscow.c_str(), shown, &state, now));
    CHECK(tip.size() == TRAY_TIP_MAX_CHARS);
    CHECK(tip.find(cp1251("Москва: 0°, снег снег")) != std::string::npos);
    CHECK(tip.substr(tip.size() - 17) == "\x85" + cp1251("\nданные от 14:35"));

    // No observation shown: the name and the place alone.
    state.observation = SHOWN_EMPTY;
    CHECK(taken(tray_tip_text(title.c_str(), moscow.c_str(), shown, &state, now)) == title + "\n" + moscow);
    CHECK(taken(tray_tip_text(title.c_str(), nullptr, nullptr, nullptr, now)) == title);
    weather_record_destroy(shown);

    struct Case {
        int32_t temperature;
        uint32_t size;
        const char *text;  // null: none
    };
    const Case cases[] = {
        {-7, 8, "\xE2\x88\x92" "7"}, {12, 8, "+12"}, {0, 8, "0"}, {-99, 8, "\xE2\x88\x92" "99"},
        {99, 8, "+99"}, {100, 8, nullptr}, {-100, 8, nullptr}, {-7, 4, nullptr}, {-7, 5, "\xE2\x88\x92" "7"},
    };
    for (const Case &c : cases) {
        CAPTURE(c.temperature);
        CAPTURE(c.size);
        char buffer[8];
        memset(buffer, 'x', sizeof buffer);
        int32_t made = tray_temperature_text(c.temperature, buffer, c.size);
        CHECK(made == (c.text != nullptr));
        CHECK(std::string(buffer) == (c.text != nullptr ? c.text : ""));
    }
}

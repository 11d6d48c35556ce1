// The panel's text blocks as composed from the record, before conversion.
#include <doctest/doctest.h>

#include <string.h>
#include <string>

#include "fetch/weather_record.h"
#include "panel/weather_text.h"
#include "util/mem.h"

namespace {

struct Record {
    WeatherRecord &record;
    Record() : record(*weather_record_create()) {}
    ~Record() { weather_record_destroy(&record); }
};

std::string actual_block(const WeatherRecord *record)
{
    char *text = compose_actual_block(record);
    REQUIRE(text != nullptr);
    std::string result = text;
    mem_free(text);
    return result;
}

std::string forecast_block(const WeatherRecord *record, double day)
{
    char *text = compose_forecast_block(record, day);
    REQUIRE(text != nullptr);
    std::string result = text;
    mem_free(text);
    return result;
}

void set_comment(CommentSlot *slot, const char *text)
{
    weather_comment_store(slot, dup_string(text));
}

} // namespace

TEST_CASE("no record and a record just reset give empty blocks")
{
    CHECK(actual_block(nullptr) == "");
    CHECK(forecast_block(nullptr, 4000.0) == "");
    Record r;
    CHECK(actual_block(&r.record) == "");
    CHECK(forecast_block(&r.record, 1.0) == "");
}

TEST_CASE("the worked example")
{
    Record r;
    set_comment(&r.record.comment, "Пасмурно");
    strcpy(r.record.wind_direction, "С");
    r.record.wind_speed = 3;
    r.record.pressure = 745;
    r.record.precip_12h = 1;
    r.record.humidity = 85;
    CHECK(actual_block(&r.record) ==
          "Пасмурно\nВетер: С 3 м/с, давл. 745 мм рт.ст.\nОсадки за 12 часов: 1 мм, влажн. 85%\n");
}

TEST_CASE("phrases and their separators")
{
    Record r;
    SUBCASE("direction without speed") {
        strcpy(r.record.wind_direction, "СЗ");
        CHECK(actual_block(&r.record) == "Ветер: СЗ, \n");
    }
    SUBCASE("speed 0 without direction keeps both blanks") {
        r.record.wind_speed = 0;
        CHECK(actual_block(&r.record) == "Ветер:  0 м/с, \n");
    }
    SUBCASE("pressure alone") {
        r.record.pressure = 750;
        CHECK(actual_block(&r.record) == "давл. 750 мм рт.ст.\n");
    }
    SUBCASE("only humidity: no leading separator") {
        r.record.humidity = 40;
        CHECK(actual_block(&r.record) == "влажн. 40%\n");
    }
    SUBCASE("precipitation without humidity still ends in a comma") {
        r.record.precip_24h = 4;
        CHECK(actual_block(&r.record) == "Осадки за 24 часов: 4 мм, ");
    }
    SUBCASE("the shortest period with a value wins, 0 included") {
        r.record.precip_6h = 0;
        r.record.precip_12h = 2;
        r.record.precip_24h = 5;
        CHECK(actual_block(&r.record) == "Осадки за 6 часов: 0 мм, ");
        r.record.precip_6h = -1;
        CHECK(actual_block(&r.record) == "Осадки за 12 часов: 2 мм, ");
    }
    SUBCASE("a present but empty comment starts with a line break") {
        set_comment(&r.record.comment, "");
        r.record.humidity = 1;
        CHECK(actual_block(&r.record) == "\nвлажн. 1%\n");
    }
    SUBCASE("negative values are printed as they are") {
        r.record.wind_speed = -2;
        CHECK(actual_block(&r.record) == "Ветер:  -2 м/с, \n");
    }
}

TEST_CASE("a comment far longer than the old fixed buffers is kept whole")
{
    Record r;
    std::string comment(5000, 'x');
    comment += "конец";
    set_comment(&r.record.comment, comment.c_str());
    r.record.humidity = 70;
    CHECK(actual_block(&r.record) == comment + "\nвлажн. 70%\n");

    r.record.days[0].date = 4001.0;
    set_comment(&r.record.days[0].comment, comment.c_str());
    std::string forecast = forecast_block(&r.record, 4001.0);
    CHECK(forecast.size() > comment.size());
    CHECK(forecast.compare(0, comment.size() + 1, comment + "\n") == 0);
}

TEST_CASE("the forecast block of the matching day")
{
    Record r;
    for (int i = 0; i < FORECAST_DAYS; i++)
        r.record.days[i].date = 4001.0 + i;
    ForecastDay *day = &r.record.days[2];
    set_comment(&day->comment, "Ясно");
    strcpy(day->wind_direction, "Ю-З");
    day->wind_speed = 4;
    day->precip = 1;
    day->precip_probability = 30;

    CHECK(forecast_block(&r.record, 4003.0) ==
          "Ясно\nВетер: Ю-З, скорость ветра 4 м/с\nОсадки: 1 мм, вероятность осадков 30%");
    // A day without comment and with every value at 0 still prints them.
    CHECK(forecast_block(&r.record, 4001.0) ==
          "Ветер: , скорость ветра 0 м/с\nОсадки: 0 мм, вероятность осадков 0%");
    CHECK(forecast_block(&r.record, 4008.0) == "");
}

TEST_CASE("day matching rounds both values half up")
{
    Record r;
    r.record.days[0].date = 3999.0;
    r.record.days[1].date = 4001.0;
    r.record.days[2].date = 4001.0;
    CHECK(find_matching_day(&r.record, 4000.6) == 1);   // both become 4001
    CHECK(find_matching_day(&r.record, 4000.5) == 1);
    CHECK(find_matching_day(&r.record, 4000.4) == -1);
    CHECK(find_matching_day(&r.record, 4001.49) == 1);  // the earlier of two
    CHECK(find_matching_day(&r.record, 3998.5) == 0);
    CHECK(find_matching_day(nullptr, 4001.0) == -1);
    // The calendar gives midnight, half a day before the noon of its date.
    CHECK(find_matching_day(&r.record, 4000.5) == find_matching_day(&r.record, 4001.0));
}

TEST_CASE("after a reset no day matches an ordinary date")
{
    Record r;
    // Days stay 0.0 until a forecast page is parsed; day numbers of real
    // present dates lie thousands of days on.
    CHECK(find_matching_day(&r.record, 9470.0) == -1);
}

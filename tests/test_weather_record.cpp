// The weather record: its layout, its reset and the comments it owns.
#include <doctest/doctest.h>

#include <stddef.h>
#include <string.h>
#include <string>

#include "fetch/weather_record.h"
#include "util/mem.h"

namespace {

void fill_everything(WeatherRecord *r)
{
    r->temperature = 5;
    r->pressure = 750;
    r->humidity = 60;
    r->precip_6h = 1;
    r->precip_12h = 2;
    r->precip_24h = 3;
    // Every byte of the field but its terminator, so that a reset that
    // clears only the first bytes is seen ("Юго-запад" is 17 bytes: too long).
    memset(r->wind_direction, 'W', sizeof r->wind_direction - 1);
    r->wind_direction[sizeof r->wind_direction - 1] = 0;
    r->wind_speed = 4;
    r->condition = 7;
    weather_comment_store(&r->comment, dup_string("Ясно"));
    for (int i = 0; i < FORECAST_DAYS; i++) {
        ForecastDay *d = &r->days[i];
        d->date = 9501.0 + i;
        d->day_temperature = (int16_t)i;
        d->night_temperature = (int16_t)-i;
        d->precip = 1;
        d->precip_probability = 50;
        strcpy(d->wind_direction, "С");
        d->wind_speed = 2;
        d->condition = 3;
        weather_comment_store(&d->comment, dup_string("Пасмурно"));
    }
}

void check_reset(const WeatherRecord *r)
{
    CHECK(r->temperature == 100);
    CHECK(r->pressure == -1);
    CHECK(r->humidity == -1);
    CHECK(r->precip_6h == -1);
    CHECK(r->precip_12h == -1);
    CHECK(r->precip_24h == -1);
    for (int b = 0; b < WIND_DIRECTION_SIZE; b++)
        CHECK(r->wind_direction[b] == 0);
    CHECK(r->wind_speed == -1);
    CHECK(r->condition == 0);
    CHECK(weather_comment(&r->comment) == nullptr);
    for (int i = 0; i < FORECAST_DAYS; i++) {
        CAPTURE(i);
        const ForecastDay *d = &r->days[i];
        CHECK(d->date == 0.0);
        CHECK(d->day_temperature == 100);
        CHECK(d->night_temperature == 100);
        CHECK(d->precip == 0);
        CHECK(d->precip_probability == 0);
        for (int b = 0; b < WIND_DIRECTION_SIZE; b++)
            CHECK(d->wind_direction[b] == 0);
        CHECK(d->wind_speed == 0);
        CHECK(d->condition == 0);
        CHECK(weather_comment(&d->comment) == nullptr);
    }
}

} // namespace

TEST_CASE("the record's layout: fields in their order and widths")
{
    CHECK(FORECAST_DAYS == 7);
    CHECK(WIND_DIRECTION_MAX == 15);
    CHECK(sizeof(WeatherRecord::wind_direction) == 16);
    CHECK(sizeof(ForecastDay::wind_direction) == 16);
    CHECK(sizeof(WeatherRecord::temperature) == 2);
    CHECK(sizeof(WeatherRecord::pressure) == 4);
    CHECK(sizeof(WeatherRecord::wind_speed) == 2);
    CHECK(sizeof(ForecastDay::date) == 8);
    CHECK(sizeof(ForecastDay::precip) == 4);
    CHECK(offsetof(WeatherRecord, temperature) < offsetof(WeatherRecord, pressure));
    CHECK(offsetof(WeatherRecord, pressure) < offsetof(WeatherRecord, humidity));
    CHECK(offsetof(WeatherRecord, humidity) < offsetof(WeatherRecord, precip_6h));
    CHECK(offsetof(WeatherRecord, precip_24h) < offsetof(WeatherRecord, wind_direction));
    CHECK(offsetof(WeatherRecord, wind_direction) < offsetof(WeatherRecord, wind_speed));
    CHECK(offsetof(WeatherRecord, condition) < offsetof(WeatherRecord, comment));
    CHECK(offsetof(WeatherRecord, comment) < offsetof(WeatherRecord, days));
    CHECK(offsetof(ForecastDay, date) < offsetof(ForecastDay, day_temperature));
    CHECK(offsetof(ForecastDay, day_temperature) < offsetof(ForecastDay, night_temperature));
    CHECK(offsetof(ForecastDay, precip_probability) < offsetof(ForecastDay, wind_direction));
    CHECK(offsetof(ForecastDay, condition) < offsetof(ForecastDay, comment));
}

TEST_CASE("a new record is already reset")
{
    WeatherRecord *r = weather_record_create();
    REQUIRE(r != nullptr);
    check_reset(r);
    weather_record_destroy(r);
    weather_record_destroy(NULL);
}

TEST_CASE("reset releases every comment once and brings back every no-value mark")
{
    WeatherRecord *r = weather_record_create();
    REQUIRE(r != nullptr);
    fill_everything(r);
    weather_record_reset(r);
    check_reset(r);
    // A second reset finds nothing left to release (a double release would
    // be caught by the address checker, a leak by the leak checker).
    weather_record_reset(r);
    check_reset(r);
    fill_everything(r);
    fill_everything(r);  // each store releases the comment it replaces
    weather_record_reset(r);
    check_reset(r);
    weather_record_reset(NULL);
    weather_record_destroy(r);
}

TEST_CASE("every block the record owns is released exactly once")
{
    int32_t before = mem_live_blocks();
    WeatherRecord *r = weather_record_create();
    REQUIRE(r != nullptr);
    CHECK(mem_live_blocks() == before + 1);
    fill_everything(r);
    CHECK(mem_live_blocks() == before + 1 + 8);
    fill_everything(r);
    CHECK(mem_live_blocks() == before + 1 + 8);
    weather_record_reset(r);
    CHECK(mem_live_blocks() == before + 1);
    weather_record_reset(r);
    CHECK(mem_live_blocks() == before + 1);
    weather_record_destroy(r);
    CHECK(mem_live_blocks() == before);
}

TEST_CASE("a record in plain memory, zeroed, resets as well")
{
    WeatherRecord record;
    memset((void *)&record, 0, sizeof record);
    weather_record_reset(&record);
    check_reset(&record);
    fill_everything(&record);
    weather_record_reset(&record);
    check_reset(&record);
}

TEST_CASE("a comment store releases the text it replaces")
{
    CommentSlot slot(nullptr);
    CHECK(weather_comment(&slot) == nullptr);
    weather_comment_store(&slot, dup_string("первый"));
    CHECK(std::string(weather_comment(&slot)) == "первый");
    weather_comment_store(&slot, dup_string(""));
    CHECK(std::string(weather_comment(&slot)) == "");
    weather_comment_store(&slot, NULL);
    CHECK(weather_comment(&slot) == nullptr);
}

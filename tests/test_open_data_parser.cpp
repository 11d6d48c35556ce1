// The open-data reader on answers shaped like the real API's: units other
// than the asked ones, nulls and other non-numbers, numbers such as 0.00
// and 1.5e1, escaped strings, error and rate-limit answers, a cut-short
// body; the request path; which parts the data source asks.
#include <doctest/doctest.h>

#include <locale.h>
#include <string.h>
#include <string>

#include "fetch/open_data_parser.h"
#include "panel/day_number.h"
#include "util/mem.h"

namespace {

struct Record {
    WeatherRecord *record = weather_record_create();
    ~Record() { weather_record_destroy(record); }
};

int parse(WeatherRecord *record, const std::string &answer, int parts = WEATHER_PARTS_ALL, int *replaced = NULL)
{
    return parse_open_data_into(record, answer.data(), (int32_t)answer.size(), parts, replaced);
}

std::string text_of(const CommentSlot *slot)
{
    const char *text = weather_comment(slot);
    return text != NULL ? text : "(null)";
}

// 48 hours from 2026-12-06T00:00, each value the text given (the hour's
// index replaces "#").
std::string hourly(const char *value_of_hour)
{
    std::string times, values;
    for (int i = 0; i < 48; i++) {
        char time[32];
        snprintf(time, sizeof time, "\"2026-12-%02dT%02d:00\"", 6 + i / 24, i % 24);
        std::string value = value_of_hour;
        size_t mark = value.find('#');
        if (mark != std::string::npos)
            value.replace(mark, 1, std::to_string(i));
        times += (i ? "," : "") + std::string(time);
        values += (i ? "," : "") + value;
    }
    return "\"hourly\":{\"time\":[" + times + "],\"precipitation\":[" + values + "]}";
}

std::string answer(const std::string &units, const std::string &current, const std::string &rest = "")
{
    return "{\"latitude\":55.75,\"longitude\":37.625,\"utc_offset_seconds\":10800,\"timezone\":\"Europe/Moscow\"," +
           units + (units.empty() ? "" : ",") + "\"current\":{\"time\":\"2026-12-07T14:15\",\"interval\":900," +
           current + "}" + (rest.empty() ? "" : ",") + rest + "}";
}

double noon_of(int year, int month, int day)
{
    CalendarDate date = {(double)year, (double)month, (double)day, 12, 0, 0};
    return date_to_day_number(&date);
}

} // namespace

TEST_CASE("the observation: units, rounding, words and what is no value")
{
    struct Case {
        const char *label;
        const char *units;    // the current_units object, or ""
        const char *current;  // the current object's values
        int temperature, pressure, humidity, wind_speed;
        const char *direction;
        int condition;
        const char *comment;
    };
    const Case cases[] = {
        {"as asked, the degree sign escaped, halves away from zero",
         "\"current_units\":{\"temperature_2m\":\"\\u00b0C\",\"wind_speed_10m\":\"m/s\",\"surface_pressure\":\"hPa\"}",
         "\"temperature_2m\":-2.5,\"surface_pressure\":1013.25,\"relative_humidity_2m\":84.5,\"wind_speed_10m\":3.5,"
         "\"wind_direction_10m\":337.5,\"weather_code\":3",
         -3, 760, 85, 4, "С", 16, "пасмурно"},
        {"Fahrenheit and km/h converted before rounding (36.5 °F and 9 km/h are 2.5 each)",
         "\"current_units\":{\"temperature_2m\":\"°F\",\"wind_speed_10m\":\"km/h\"}",
         "\"temperature_2m\":36.5,\"wind_speed_10m\":9.0,\"wind_direction_10m\":22.5,\"weather_code\":95.0",
         3, -1, -1, 3, "СВ", 8, "гроза"},
        {"mp/h and knots; 1.5e1 and 0.00 are numbers",
         "\"current_units\":{\"wind_speed_10m\":\"mp/h\"}",
         "\"temperature_2m\":1.5e1,\"relative_humidity_2m\":0.00,\"wind_speed_10m\":10,\"wind_direction_10m\":360",
         15, -1, 0, 4, "С", 0, NULL},
        {"knots",
         "\"current_units\":{\"wind_speed_10m\":\"kn\"}", "\"wind_speed_10m\":10,\"wind_direction_10m\":22.49",
         100, -1, -1, 5, "С", 0, NULL},
        {"units not in the list are no value; undeclared ones are as asked",
         "\"current_units\":{\"temperature_2m\":\"K\",\"wind_speed_10m\":\"bft\",\"surface_pressure\":\"mmHg\"}",
         "\"temperature_2m\":270,\"surface_pressure\":1000,\"relative_humidity_2m\":50,\"wind_speed_10m\":3",
         100, -1, 50, -1, "", 0, NULL},
        {"null, strings, booleans and arrays are no value",
         "",
         "\"temperature_2m\":null,\"surface_pressure\":\"1013\",\"relative_humidity_2m\":true,\"wind_speed_10m\":[3],"
         "\"wind_direction_10m\":null,\"weather_code\":3.5",
         100, -1, -1, -1, "", 0, NULL},
        {"values past the field or the compass are no value",
         "",
         "\"temperature_2m\":40000,\"surface_pressure\":4e9,\"relative_humidity_2m\":-0.4,\"wind_speed_10m\":-32768.4,"
         "\"wind_direction_10m\":360.5,\"weather_code\":-1",
         100, -1, 0, -1, "", 0, NULL},
        // Each figure's physical range, on its rounded value in the record's unit.
        {"the range's ends are values", "",
         "\"temperature_2m\":-90.4,\"surface_pressure\":533.27,\"relative_humidity_2m\":100.4,\"wind_speed_10m\":120.4,"
         "\"weather_code\":96",
         -90, 400, 100, 120, "", 8, "сильная гроза"},
        {"just past the ends is no value", "",
         "\"temperature_2m\":60.5,\"surface_pressure\":1134.0,\"relative_humidity_2m\":100.5,\"wind_speed_10m\":-0.5,"
         "\"weather_code\":99",
         100, -1, -1, -1, "", 8, "сильная гроза, возможен град"},
        {"the other end", "",
         "\"temperature_2m\":-90.5,\"surface_pressure\":532.6,\"relative_humidity_2m\":-0.5,\"wind_speed_10m\":120.5,"
         "\"weather_code\":57",
         100, -1, -1, -1, "", 4, "сильная ледяная морось"},
        {"a hundred degrees Fahrenheit is 38", "\"current_units\":{\"temperature_2m\":\"°F\"}",
         "\"temperature_2m\":100,\"surface_pressure\":1133.2,\"weather_code\":67",
         38, 850, -1, -1, "", 4, "сильный ледяной дождь"},
        {"showers of snow", "", "\"weather_code\":85", 100, -1, -1, -1, "", 12, "небольшой ливневый снег"},
        {"heavy showers of snow", "", "\"weather_code\":86", 100, -1, -1, -1, "", 2, "сильный ливневый снег"},
        // Whole codes from 50 to 99 not in the table read by their decade.
        {"decade of drizzle", "", "\"weather_code\":58", 100, -1, -1, -1, "", 11, "морось"},
        {"decade of rain", "", "\"weather_code\":68.0", 100, -1, -1, -1, "", 1, "дождь"},
        {"decade of snow", "", "\"weather_code\":79", 100, -1, -1, -1, "", 2, "снег"},
        {"decade of showers", "", "\"weather_code\":88", 100, -1, -1, -1, "", 9, "ливень"},
        {"decade of thunderstorms", "", "\"weather_code\":90", 100, -1, -1, -1, "", 8, "гроза"},
        {"below the decades", "", "\"weather_code\":49", 100, -1, -1, -1, "", 0, NULL},
        {"past the decades", "", "\"weather_code\":100", 100, -1, -1, -1, "", 0, NULL},
        {"not a whole code", "", "\"weather_code\":58.5", 100, -1, -1, -1, "", 0, NULL},
        {"a code not in the table",
         "", "\"weather_code\":4,\"wind_direction_10m\":-0.1", 100, -1, -1, -1, "", 0, NULL},
    };
    for (const Case &c : cases) {
        CAPTURE(c.label);
        Record r;
        REQUIRE(parse(r.record, answer(c.units, c.current)) == 1);
        CHECK(r.record->temperature == c.temperature);
        CHECK(r.record->pressure == c.pressure);
        CHECK(r.record->humidity == c.humidity);
        CHECK(r.record->wind_speed == c.wind_speed);
        CHECK(std::string(r.record->wind_direction) == c.direction);
        CHECK(r.record->condition == c.condition);
        CHECK(text_of(&r.record->comment) == (c.comment != NULL ? c.comment : "(null)"));
    }
}

TEST_CASE("precipitation over 6, 12 and 24 hours up to the current hour")
{
    struct Case {
        const char *label;
        std::string rest;
        const char *time;
        int p6, p12, p24;
    };
    const Case cases[] = {
        {"a quarter of a mm each hour", hourly("0.25"), "2026-12-07T14:15", 2, 3, 6},
        {"inches", "\"hourly_units\":{\"precipitation\":\"inch\"}," + hourly("0.01"), "2026-12-07T14:45", 2, 3, 6},
        {"each hour its own amount", hourly("#"), "2026-12-07T14:00", 33 + 34 + 35 + 36 + 37 + 38, 390, 636},
        {"the current hour too early for the longer spans", hourly("1"), "2026-12-06T08:15", 6, -1, -1},
        {"the current hour not in the list", hourly("1"), "2026-12-09T08:15", -1, -1, -1},
        {"a time without its minutes", hourly("1"), "2026-12-07T14", -1, -1, -1},
    };
    for (const Case &c : cases) {
        CAPTURE(c.label);
        Record r;
        std::string a = answer("", "\"temperature_2m\":1", c.rest);
        a.replace(a.find("2026-12-07T14:15"), 16, c.time);
        REQUIRE(parse(r.record, a) == 1);
        CHECK(r.record->precip_6h == c.p6);
        CHECK(r.record->precip_12h == c.p12);
        CHECK(r.record->precip_24h == c.p24);
    }
    // Hour 38 is 14:00 of the second day; a null 7 hours before it.
    Record r;
    std::string with_null = hourly("#");
    with_null.replace(with_null.find(",31,"), 4, ",null,");
    REQUIRE(parse(r.record, answer("", "\"temperature_2m\":1", with_null)) == 1);
    CHECK(r.record->precip_6h == 33 + 34 + 35 + 36 + 37 + 38);
    CHECK(r.record->precip_12h == -1);
    CHECK(r.record->precip_24h == -1);
}

TEST_CASE("the days start at the place's today and stop at a malformed date")
{
    const std::string daily =
        "\"daily_units\":{\"temperature_2m_max\":\"°F\",\"precipitation_sum\":\"inch\",\"wind_speed_10m_max\":\"km/h\"},"
        "\"daily\":{\"time\":[\"2026-12-06\",\"2026-12-07\",\"2026-12-08\",\"2026-12-09\",\"2026-12-10\","
        "\"2026-12-11\",\"2026-12-12\",\"2026-12-13\"],"
        "\"weather_code\":[0,61,null,73,0,0,0,99],\"temperature_2m_max\":[50,50,41,32,32,32,32,104],"
        "\"temperature_2m_min\":[1,-1.5,null,-3,-4,-5,-6,-7],\"precipitation_sum\":[0,0.1,0.00,1,1,1,1,1],"
        "\"precipitation_probability_max\":[0,55,null,100,0,0,0,42],\"wind_speed_10m_max\":[0,18,9.0,3.6,0,0,0,36],"
        "\"wind_direction_10m_dominant\":[0,90,null,202.5,0,0,0,315]}";
    Record r;
    REQUIRE(parse(r.record, answer("", "\"temperature_2m\":1", daily)) == 1);
    const ForecastDay *d = r.record->days;
    CHECK(d[0].date == noon_of(2026, 12, 7));
    CHECK(d[0].day_temperature == 10);
    CHECK(d[0].night_temperature == -2);
    CHECK(d[0].precip == 3);
    CHECK(d[0].precip_probability == 55);
    CHECK(d[0].wind_speed == 5);
    CHECK(std::string(d[0].wind_direction) == "В");
    CHECK(d[0].condition == 11);
    CHECK(text_of(&d[0].comment) == "небольшой дождь");
    // Nulls leave a day's fields as reset.
    CHECK(d[1].date == noon_of(2026, 12, 8));
    CHECK(d[1].day_temperature == 5);
    CHECK(d[1].night_temperature == 100);
    CHECK(d[1].precip_probability == 0);
    CHECK(std::string(d[1].wind_direction) == "");
    CHECK(text_of(&d[1].comment) == "(null)");
    CHECK(d[1].wind_speed == 3);
    CHECK(d[2].wind_speed == 1);
    CHECK(std::string(d[2].wind_direction) == "ЮЗ");
    CHECK(d[6].date == noon_of(2026, 12, 13));
    CHECK(d[6].day_temperature == 40);
    CHECK(text_of(&d[6].comment) == "сильная гроза, возможен град");

    struct Case {
        const char *label;
        const char *from, *to;  // a change to the daily times or the current time
        int days_filled;
        int32_t replaced;
        int first_precip;  // 0 as reset
    };
    const int32_t ALL = WEATHER_PARTS_ALL, OBSERVATION = WEATHER_PART_OBSERVATION;
    const Case cases[] = {
        {"a malformed date stops the days there", "\"2026-12-10\"", "\"2026-12-1\"", 3, ALL, 3},
        {"a date that is no day stops them too", "\"2026-12-10\"", "\"2026-02-30\"", 3, ALL, 3},
        {"a date that is not text", "\"2026-12-09\"", "20261209", 2, ALL, 3},
        // Without a usable current time the days cannot be placed: the
        // kept forecast stays.
        {"today not among the days", "\"2026-12-07\",", "\"2026-12-17\",", 0, OBSERVATION, 0},
        {"no current time", "\"time\":\"2026-12-07T14:15\",", "", 0, OBSERVATION, 0},
        {"a current time that is no date", "\"time\":\"2026-12-07T14:15\",", "\"time\":\"yesterday\",", 0,
         OBSERVATION, 0},
        {"only two days after today", ",\"2026-12-10\",\"2026-12-11\",\"2026-12-12\",\"2026-12-13\"", "", 3, ALL, 3},
        {"a precipitation past 2000 mm is no value", "\"precipitation_sum\":[0,0.1", "\"precipitation_sum\":[0,2000.5",
         7, ALL, 0},
    };
    for (const Case &c : cases) {
        CAPTURE(c.label);
        std::string a = answer("", "\"temperature_2m\":1", daily);
        a.replace(a.find(c.from), strlen(c.from), c.to);
        Record changed;
        changed.record->days[3].day_temperature = 44;
        int replaced = 0;
        REQUIRE(parse(changed.record, a, WEATHER_PARTS_ALL, &replaced) == 1);
        CHECK(replaced == c.replaced);
        CHECK(changed.record->days[0].precip == c.first_precip);
        CHECK((changed.record->days[3].day_temperature == 44) == (c.days_filled == 0));
        for (int i = 0; i < FORECAST_DAYS; i++) {
            CAPTURE(i);
            CHECK((changed.record->days[i].date != 0.0) == (i < c.days_filled));
        }
    }
}

TEST_CASE("answers that are not the forecast leave the record untouched")
{
    const std::string good = answer("", "\"temperature_2m\":7");
    const std::string answers[] = {
        "HTTP/1.1 429 Too Many Requests\r\nContent-Type: application/json\r\n\r\n"
        "{\"error\":true,\"reason\":\"Minutely API request limit exceeded. Please try again in one minute.\"}",
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n{\"error\":true,\"reason\":\"Cannot initialize\"}",
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nToo many requests",
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n" + good.substr(0, good.size() - 9),
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n" + good,
        "HTTP/1.1 404 Not Found\r\n\r\n" + good,
        good + "}",
        "[" + good + "]",
        "{\"current\":[1],\"daily\":null}",
        "",
    };
    for (const std::string &a : answers) {
        CAPTURE(a);
        Record r;
        r.record->temperature = 33;
        weather_comment_store(&r.record->comment, dup_string("kept"));
        int replaced = -1;
        CHECK(parse(r.record, a, WEATHER_PARTS_ALL, &replaced) == 0);
        CHECK(replaced == 0);
        CHECK(r.record->temperature == 33);
        CHECK(text_of(&r.record->comment) == "kept");
    }
    // The same answer as a whole response, with its headers, is read.
    Record r;
    int replaced = 0;
    CHECK(parse(r.record, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n" + good,
                WEATHER_PARTS_ALL, &replaced) == 1);
    CHECK(r.record->temperature == 7);
    CHECK(replaced == WEATHER_PART_OBSERVATION);  // no "daily": the days are not touched
}

TEST_CASE("only the asked parts are replaced")
{
    const std::string a =
        answer("", "\"temperature_2m\":7", "\"daily\":{\"time\":[\"2026-12-07\"],\"temperature_2m_max\":[9]}");
    Record r;
    r.record->temperature = 33;
    r.record->days[0].day_temperature = 44;
    int replaced = 0;
    REQUIRE(parse(r.record, a, WEATHER_PART_DAYS, &replaced) == 1);
    CHECK(replaced == WEATHER_PART_DAYS);
    CHECK(r.record->temperature == 33);
    CHECK(r.record->days[0].day_temperature == 9);
    REQUIRE(parse(r.record, a, WEATHER_PART_OBSERVATION, &replaced) == 1);
    CHECK(replaced == WEATHER_PART_OBSERVATION);
    CHECK(r.record->temperature == 7);
}

TEST_CASE("the data source decides the parts asked of the open data")
{
    // source, actual page whole, forecast page whole -> parts
    const int table[][4] = {
        {0, 1, 1, 0}, {0, 0, 1, WEATHER_PART_OBSERVATION}, {0, 1, 0, WEATHER_PART_DAYS}, {0, 0, 0, WEATHER_PARTS_ALL},
        {1, 0, 0, 0}, {2, 1, 1, WEATHER_PARTS_ALL}, {7, 0, 1, WEATHER_PART_OBSERVATION}, {-1, 1, 1, 0},
    };
    for (const auto &row : table) {
        CAPTURE(row[0]);
        CAPTURE(row[1]);
        CAPTURE(row[2]);
        CHECK(open_data_parts_wanted(row[0], row[1], row[2]) == row[3]);
    }
    CHECK(data_source_uses_pages(0));
    CHECK(data_source_uses_pages(1));
    CHECK_FALSE(data_source_uses_pages(2));
}

TEST_CASE("the request path has four decimals and a point whatever the locale")
{
    // Russian writes a decimal comma; the path must not.
    const char *locale = setlocale(LC_ALL, "ru_RU.UTF-8");
    char *path = open_data_path(557558, -1234567);
    char *small = open_data_path(-5, 0);
    REQUIRE(path != NULL);
    REQUIRE(small != NULL);
    CHECK(std::string(path).rfind("v1/forecast?latitude=55.7558&longitude=-123.4567&current=temperature_2m,", 0) == 0);
    CHECK(std::string(path).find("&wind_speed_unit=ms&timezone=auto&past_days=1&forecast_days=7") != std::string::npos);
    CHECK(std::string(path).find("&hourly=precipitation,temperature_2m,weather_code&") != std::string::npos);
    CHECK(std::string(small).rfind("v1/forecast?latitude=-0.0005&longitude=0.0000&", 0) == 0);
    mem_free(path);
    mem_free(small);
    if (locale != NULL)
        setlocale(LC_ALL, "C");
}

// velvane-scrape as a user runs it: saved pages in, one name=value line per
// item of the record out.
#include <doctest/doctest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>

#include "tests/support/page_builder.h"
#include "tests/support/tool_output.h"
#include "util/mem.h"

namespace {

const std::string TOOL = std::string(VELVANE_BINARY_DIR) + "/tools/velvane-scrape";

struct TempDir {
    std::string path;
    TempDir()
    {
        char pattern[] = "/tmp/velvane-scrape.XXXXXX";
        REQUIRE(mkdtemp(pattern) != nullptr);
        path = pattern;
    }
    ~TempDir() { (void)system(("rm -rf '" + path + "'").c_str()); }
    std::string write(const char *name, char *page, int32_t length)
    {
        std::string file = path + "/" + name;
        FILE *out = fopen(file.c_str(), "wb");
        REQUIRE(out != nullptr);
        fwrite(page, 1, (size_t)length, out);
        fclose(out);
        mem_free(page);
        return file;
    }
};

// The tool's standard output and exit code.
std::string run(const std::string &arguments, int *status)
{
    return run_command("'" + TOOL + "' " + arguments, status);
}

} // namespace

TEST_CASE("velvane-scrape with no pages prints the record as reset")
{
    REQUIRE_MESSAGE(access(TOOL.c_str(), X_OK) == 0, TOOL << " is not built");
    int status;
    std::string output = run("", &status);
    CHECK(status == 0);
    std::string want =
        "actual_result=-1\nforecast_result=-1\n"
        "temperature=100\npressure=-1\nhumidity=-1\nprecip_6h=-1\nprecip_12h=-1\nprecip_24h=-1\n"
        "wind_direction=\"\"\nwind_speed=-1\ncondition=0\ncomment=null\n";
    for (int i = 0; i < 7; i++) {
        std::string d = "day" + std::to_string(i) + ".";
        want += d + "date=0.000\n" + d + "day_temperature=100\n" + d + "night_temperature=100\n" + d +
                "precip=0\n" + d + "precip_probability=0\n" + d + "wind_direction=\"\"\n" + d +
                "wind_speed=0\n" + d + "condition=0\n" + d + "comment=null\n";
    }
    CHECK(output == want);
}

TEST_CASE("velvane-scrape reads both pages and escapes its texts")
{
    REQUIRE_MESSAGE(access(TOOL.c_str(), X_OK) == 0, TOOL << " is not built");
    TempDir dir;
    ActualPageSpec actual;
    page_actual_defaults(&actual);
    actual.comment = "a\\b\"c\nd\re\tf\x01g\x1F Ж";
    int32_t length;
    char *page = page_build_actual(&actual, &length);
    std::string actual_file = dir.write("actual.html", page, length);

    ForecastPageSpec forecast;
    page_forecast_defaults(&forecast);
    forecast.date_headings[0] = "31 декабря";
    page = page_build_forecast(&forecast, &length);
    std::string forecast_file = dir.write("forecast.html", page, length);

    int status;
    std::string output = run("--now 2027-01-01T08:30:00 --actual '" + actual_file + "' --forecast '" +
                                 forecast_file + "'", &status);
    CHECK(status == 0);
    CHECK(output.compare(0, 34, "actual_result=1\nforecast_result=1\n") == 0);
    CHECK(line_of(output, "temperature") == "temperature=-12");
    CHECK(line_of(output, "comment") == "comment=\"a\\\\b\\\"c\\nd\\re\\tf\\x01g\\x1F Ж\"");
    CHECK(line_of(output, "wind_direction") == "wind_direction=\"Северо-з\"");
    // 31 December 2026, read on the first day of 2027.
    CHECK(line_of(output, "day0.date") == "day0.date=9861.000");
    CHECK(line_of(output, "day6.date") == "day6.date=9867.000");
    CHECK(line_of(output, "day6.wind_speed") == "day6.wind_speed=6");
    CHECK(line_of(output, "day3.comment") == "day3.comment=\"Снег с дождём\"");

    // Only the forecast: the actual result is -1 and the observation reset.
    output = run("--now 2027-01-01T08:30:00 --forecast '" + forecast_file + "'", &status);
    CHECK(status == 0);
    CHECK(line_of(output, "actual_result") == "actual_result=-1");
    CHECK(line_of(output, "comment") == "comment=null");
}

TEST_CASE("velvane-scrape refuses what it cannot use")
{
    REQUIRE_MESSAGE(access(TOOL.c_str(), X_OK) == 0, TOOL << " is not built");
    int status;
    CHECK(run("--now 2027-13-01T00:00:00", &status) == "");
    CHECK(status == 2);
    CHECK(run("--now 2027-01-01", &status) == "");
    CHECK(status == 2);
    CHECK(run("--actual /nonexistent/page.html", &status) == "");
    CHECK(status == 2);
    CHECK(run("--frobnicate", &status) == "");
    CHECK(status == 2);
    CHECK(run("--forecast", &status) == "");
    CHECK(status == 2);
}

TEST_CASE("velvane-scrape --blocks prints the panel's blocks for a day")
{
    REQUIRE_MESSAGE(access(TOOL.c_str(), X_OK) == 0, TOOL << " is not built");
    TempDir dir;
    ActualPageSpec actual;
    page_actual_defaults(&actual);
    actual.comment = "Пасмурно";
    actual.wind_direction = "С";
    actual.wind_speed = 3;
    actual.pressure = 745;
    actual.precip_6h = -1;
    actual.rows[ACTUAL_ROW_PRECIP_6H].omit = 1;
    actual.precip_12h = 1;
    actual.humidity = 85;
    int32_t length;
    char *page = page_build_actual(&actual, &length);
    std::string actual_file = dir.write("actual.html", page, length);

    ForecastPageSpec forecast;
    page_forecast_defaults(&forecast);
    forecast.date_headings[0] = "31 декабря";
    page = page_build_forecast(&forecast, &length);
    std::string forecast_file = dir.write("forecast.html", page, length);

    int status;
    // 9861 is 31 December 2026 at noon; the panel's calendar gives midnight.
    std::string output = run("--now 2027-01-01T08:30:00 --actual '" + actual_file + "' --forecast '" +
                                 forecast_file + "' --blocks 9860.5", &status);
    CHECK(status == 0);
    CHECK(line_of(output, "actual_block") ==
          "actual_block=\"Пасмурно\\nВетер: С 3 м/с, давл. 745 мм рт.ст.\\n"
          "Осадки за 12 часов: 1 мм, влажн. 85%\\n\"");
    std::string forecast_block = line_of(output, "forecast_block");
    CHECK(forecast_block.compare(0, 16, "forecast_block=\"") == 0);
    CHECK(forecast_block.find("скорость ветра") != std::string::npos);

    // A day the forecast does not hold gives an empty forecast block.
    output = run("--now 2027-01-01T08:30:00 --forecast '" + forecast_file + "' --blocks 9900", &status);
    CHECK(line_of(output, "forecast_block") == "forecast_block=\"\"");
    CHECK(line_of(output, "actual_block") == "actual_block=\"\"");
    CHECK(run("--blocks soon", &status) == "");
    CHECK(status == 2);

    // "today" and "tomorrow" are read against the present moment: the day
    // before the forecast's first day, tomorrow is that first day.
    std::string wanted = line_of(run("--now 2026-12-30T08:30:00 --forecast '" + forecast_file +
                                     "' --blocks 9860.5", &status), "forecast_block");
    CHECK(wanted.find("скорость ветра") != std::string::npos);
    CHECK(line_of(run("--now 2026-12-30T08:30:00 --forecast '" + forecast_file + "' --blocks tomorrow", &status),
                  "forecast_block") == wanted);
    CHECK(status == 0);
    CHECK(line_of(run("--now 2026-12-31T23:59:00 --forecast '" + forecast_file + "' --blocks today", &status),
                  "forecast_block") == wanted);
    CHECK(line_of(run("--now 2026-12-30T08:30:00 --forecast '" + forecast_file + "' --blocks today", &status),
                  "forecast_block") == "forecast_block=\"\"");
}

TEST_CASE("velvane-scrape --hours prints each step of the days that have any")
{
    REQUIRE_MESSAGE(access(TOOL.c_str(), X_OK) == 0, TOOL << " is not built");
    TempDir dir;
    // 2026-12-07T00:00 to 2026-12-08T00:00: 0.1 mm each hour, temperature
    // the hour minus 4, code 71; the temperature at 06:00 and the
    // precipitation at 08:00 null.
    std::string times, temperatures, codes, precipitation;
    for (int i = 0; i <= 24; i++) {
        char stamp[40];
        snprintf(stamp, sizeof stamp, "%s\"2026-12-%02dT%02d:00\"", i ? "," : "", 7 + i / 24, i % 24);
        times += stamp;
        temperatures += (i ? "," : "") + (i == 6 ? std::string("null") : std::to_string(i - 4));
        codes += i ? ",71" : "71";
        precipitation += i ? (i == 8 ? ",null" : ",0.1") : "0.1";
    }
    std::string json = "{\"utc_offset_seconds\":10800,\"current\":{\"time\":\"2026-12-07T14:15\"},"
                       "\"hourly\":{\"time\":[" + times + "],\"temperature_2m\":[" + temperatures +
                       "],\"weather_code\":[" + codes + "],\"precipitation\":[" + precipitation +
                       "]},\"daily\":{\"time\":[\"2026-12-07\",\"2026-12-08\",\"2026-12-09\"]}}";
    char *copy = dup_string(json.c_str());
    std::string file = dir.write("open.json", copy, (int32_t)json.size());
    int status;
    std::string output = run("--open-data '" + file + "' --hours", &status);
    CHECK(status == 0);
    size_t first = output.find("day0.step00=");
    REQUIRE(first != std::string::npos);
    CHECK(output.substr(first) ==
          "day0.step00=-4 13 3\nday0.step03=-1 13 3\nday0.step06=- 13 -\nday0.step09=5 13 3\n"
          "day0.step12=8 13 3\nday0.step15=11 13 3\nday0.step18=14 13 3\nday0.step21=17 13 3\n"
          "day1.step00=20 13 -\nday1.step03=- - -\nday1.step06=- - -\nday1.step09=- - -\n"
          "day1.step12=- - -\nday1.step15=- - -\nday1.step18=- - -\nday1.step21=- - -\n");
    // Without --hours the output ends with the days as before.
    std::string plain = run("--open-data '" + file + "'", &status);
    CHECK(plain.find("step") == std::string::npos);
    CHECK(plain + output.substr(first) == output);
}

TEST_CASE("velvane-scrape --places prints the places a search answer offers")
{
    REQUIRE_MESSAGE(access(TOOL.c_str(), X_OK) == 0, TOOL << " is not built");
    TempDir dir;
    std::string answer =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n{\"results\":["
        "{\"name\":\"Пенза\",\"latitude\":53.20066,\"longitude\":45.00464,\"country_code\":\"RU\","
        "\"admin1\":\"Пензенская область\",\"population\":525264,\"country\":\"Россия\"},"
        "{\"name\":\"Nameless\",\"latitude\":91,\"longitude\":0},"
        "{\"name\":\"Łódź\",\"latitude\":51.75,\"longitude\":19.46667,\"country_code\":\"PL\",\"country\":\"Польша\"},"
        "{\"name\":\"Гонолулу\",\"latitude\":21.30694,\"longitude\":-157.85834,\"country_code\":\"US\"}]}";
    std::string file = dir.write("search.json", dup_string(answer.c_str()), (int32_t)answer.size());
    int status;
    CHECK(run("--places '" + file + "'", &status) ==
          "Пенза\tПензенская область\tРоссия\t53.2007\t45.0046\t525264\trussia/penza-area/penza\n"
          "Łódź\t\tПольша\t51.7500\t19.4667\t\t-\n"
          "Гонолулу\t\t\t21.3069\t-157.8583\t\tthe-hawaiian-islands//honolulu\n");
    CHECK(status == 0);

    std::string cut = dir.write("cut.json", dup_string(answer.c_str()), (int32_t)answer.size() - 3);
    CHECK(run("--places '" + cut + "'", &status) == "");
    CHECK(status == 1);
    CHECK(run("--places /nonexistent/search.json", &status) == "");
    CHECK(status == 1);
}

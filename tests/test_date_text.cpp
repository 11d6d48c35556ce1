// The date line, the heading and the temperature figures, in code page 1251.
#include <doctest/doctest.h>

#include <locale.h>
#include <string.h>
#include <string>

#include "panel/date_text.h"
#include "panel/day_number.h"
#include "util/mem.h"

namespace {

std::string take(char *text)
{
    REQUIRE(text != NULL);
    std::string result = text;
    mem_free(text);
    return result;
}

double noon_of(double y, double m, double d)
{
    CalendarDate date = {y, m, d, 12, 0, 0};
    return date_to_day_number(&date);
}

// "сентября" and friends in code page 1251.
const char SEPTEMBER[] = "\xF1\xE5\xED\xF2\xFF\xE1\xF0\xFF";
const char JANUARY[] = "\xFF\xED\xE2\xE0\xF0\xFF";
const char DECEMBER[] = "\xE4\xE5\xEA\xE0\xE1\xF0\xFF";

} // namespace

TEST_CASE("month names")
{
    CHECK(take(month_name_genitive(0)) == JANUARY);
    CHECK(take(month_name_genitive(8)) == SEPTEMBER);
    CHECK(take(month_name_genitive(11)) == DECEMBER);
    CHECK(take(month_name_genitive(12)) == "null");
    CHECK(take(month_name_genitive(0xFFFFFFFFu)) == "null");
}

TEST_CASE("the date line")
{
    setlocale(LC_ALL, "C");
    // Monday, 5 September 2011.
    std::string line = take(today_text(4265.3));
    CHECK(line == std::string("\xD1\xE5\xE3\xEE\xE4\xED\xFF: 05 ") + SEPTEMBER + " 2011\xE3, Mon.");
    // The first of a month has two digits here.
    CHECK(take(today_text(noon_of(2027, 1, 1))) ==
          std::string("\xD1\xE5\xE3\xEE\xE4\xED\xFF: 01 ") + JANUARY + " 2027\xE3, Fri.");
}

TEST_CASE("the forecast heading")
{
    CHECK(take(forecast_title_text(4265.0)) ==
          std::string("\xCF\xF0\xEE\xE3\xED\xEE\xE7 \xEF\xEE\xE3\xEE\xE4\xFB \xED\xE0 5 ") + SEPTEMBER);
    // The panel's calendar gives midnight, half a day before the noon.
    CHECK(take(forecast_title_text(noon_of(2026, 12, 31) - 0.5)) ==
          std::string("\xCF\xF0\xEE\xE3\xED\xEE\xE7 \xEF\xEE\xE3\xEE\xE4\xFB \xED\xE0 31 ") + DECEMBER);
    CHECK(take(forecast_title_text(noon_of(2027, 1, 1))) ==
          std::string("\xCF\xF0\xEE\xE3\xED\xEE\xE7 \xEF\xEE\xE3\xEE\xE4\xFB \xED\xE0 1 ") + JANUARY);
}

TEST_CASE("temperature figures")
{
    CHECK(std::string(temperature_text(0)) == "+0\xB0");
    CHECK(std::string(temperature_text(-5)) == "-5\xB0");
    CHECK(std::string(temperature_text(99)) == "+99\xB0");
    CHECK(std::string(temperature_text(-99)) == "-99\xB0");
    CHECK(std::string(temperature_text(100)) == "--");
    CHECK(std::string(temperature_text(-100)) == "--");
    CHECK(std::string(temperature_text(INT32_MIN)) == "--");
    // One shared buffer: the next call overwrites the last.
    const char *first = temperature_text(1);
    temperature_text(2);
    CHECK(std::string(first) == "+2\xB0");
}

#ifndef _WIN32
TEST_CASE("the weekday follows the selected locale")
{
    // Natively the Russian locale writes UTF-8: "Пн." for Monday.
    if (setlocale(LC_ALL, "ru_RU.UTF-8") == NULL)
        return;
    std::string line = take(today_text(4265.3));
    setlocale(LC_ALL, "C");
    std::string weekday = line.substr(line.size() - 5);
    CHECK((weekday == "\xD0\x9F\xD0\xBD." || weekday == "\xD0\xBF\xD0\xBD."));
}
#endif

#ifdef _WIN32
TEST_CASE("the weekday follows the user's locale")
{
    // The test prefix runs in the Russian locale, as the panel selects it.
    REQUIRE(setlocale(LC_ALL, "") != NULL);
    std::string line = take(today_text(4265.3));
    // "Пн." (Monday) in code page 1251; Wine's Russian locale writes it in
    // lower case.
    std::string weekday = line.substr(line.size() - 3);
    CHECK((weekday == "\xCF\xED." || weekday == "\xEF\xED."));
    setlocale(LC_ALL, "C");
}
#endif

// Day numbers both ways, the present moment through the clock seam, and the
// weekday.
#include <doctest/doctest.h>

#include <stdlib.h>
#include <thread>

#include "panel/day_number.h"

namespace {

CalendarDate make_date(double y, double mo, double d, double h = 0, double mi = 0, double s = 0)
{
    CalendarDate date = {y, mo, d, h, mi, s};
    return date;
}

void check_date(const CalendarDate &date, double y, double mo, double d, double h, double mi, double s)
{
    CHECK(date.year == y);
    CHECK(date.month == mo);
    CHECK(date.day == d);
    CHECK(date.hour == h);
    CHECK(date.minute == mi);
    CHECK(date.second == s);
}

int64_t fixed_moment;
int64_t fixed_clock(void) { return fixed_moment; }

} // namespace

TEST_CASE("dates to day numbers")
{
    CalendarDate d = make_date(2000, 1, 1, 12);
    CHECK(date_to_day_number(&d) == 0.0);
    d = make_date(2000, 1, 1);
    CHECK(date_to_day_number(&d) == -0.5);
    d = make_date(2000, 1, 2);
    CHECK(date_to_day_number(&d) == 0.5);
    d = make_date(2011, 9, 5, 12);
    CHECK(date_to_day_number(&d) == 4265.0);
    // Up to 15 October 1582 the Julian calendar counts (Julian day 2299171
    // at noon); from the 16th on the Gregorian correction applies.
    CalendarDate julian = make_date(1582, 10, 15, 12), gregorian = make_date(1582, 10, 16, 12);
    CHECK(date_to_day_number(&julian) == 2299171.0 - 2451545.0);
    CHECK(date_to_day_number(&gregorian) == 2299172.0 - 10.0 - 2451545.0);
}

TEST_CASE("day numbers to dates")
{
    CalendarDate d;
    day_number_to_date(0, &d);
    check_date(d, 2000, 1, 1, 12, 0, 0);
    day_number_to_date(-0.5, &d);
    check_date(d, 2000, 1, 1, 0, 0, 0);
    day_number_to_date(-1, &d);
    check_date(d, 1999, 12, 31, 12, 0, 0);
    // Less than half a second before midnight rounds to hour 24.
    day_number_to_date(0.5 - 0.2 / 86400, &d);
    check_date(d, 2000, 1, 1, 24, 0, 0);

    int month, year;
    double day;
    days1900_to_calendar(0, &month, &day, &year);
    CHECK(month == 12);
    CHECK(day == 31.5);
    CHECK(year == 1899);
    days1900_to_calendar(36525, &month, &day, &year);
    CHECK(month == 1);
    CHECK(day == 1.5);
    CHECK(year == 2000);
}

TEST_CASE("every noon of many years goes there and back")
{
    CalendarDate start = make_date(1999, 12, 31, 12);
    double first = date_to_day_number(&start);
    int days_in_month[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int y = 1999, m = 12, dd = 31;
    for (int n = 0; n < 366 * 60; n++) {
        CalendarDate back;
        day_number_to_date(first + n, &back);
        REQUIRE(back.year == y);
        REQUIRE(back.month == m);
        REQUIRE(back.day == dd);
        REQUIRE(back.hour == 12);
        CalendarDate again = make_date(y, m, dd, 12);
        REQUIRE(date_to_day_number(&again) == first + n);
        int length = days_in_month[m - 1] + (m == 2 && y % 4 == 0 && (y % 100 != 0 || y % 400 == 0));
        if (++dd > length) {
            dd = 1;
            if (++m > 12) {
                m = 1;
                y++;
            }
        }
    }
}

TEST_CASE("weekdays")
{
    CHECK(weekday_of_day_number(0) == 6);   // 1 January 2000, a Saturday
    CHECK(weekday_of_day_number(1) == 0);
    CHECK(weekday_of_day_number(-1) == 5);
    CHECK(weekday_of_day_number(4265) == 1); // Monday, 5 September 2011
    CHECK(weekday_of_day_number(4265.4) == 1);
}

TEST_CASE("round_half_up")
{
    CHECK(round_half_up(1.5) == 2);
    CHECK(round_half_up(1.49) == 1);
    CHECK(round_half_up(-1.5) == -1);
    CHECK(round_half_up(-1.51) == -2);
}

TEST_CASE("the present moment comes from the clock seam")
{
    // 2026-12-07 10:30:00 UTC; the tests compare in local time.
    fixed_moment = 1796639400;
    set_clock_source(fixed_clock);
    CalendarDate now;
    local_now_date(&now);
    time_t t = (time_t)fixed_moment;
    struct tm local;
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    check_date(now, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
               local.tm_sec);
    CHECK(today_day_number() == date_to_day_number(&now));
    set_clock_source(NULL);
    CHECK(llabs(clock_now_seconds() - (int64_t)time(NULL)) <= 2);
}

TEST_CASE("two threads convert at once and agree")
{
    // The worker parses dates while the panel draws its own.
    bool mismatch = false;
    auto convert = [&mismatch](double base) {
        for (int n = 0; n < 20000; n++) {
            CalendarDate d;
            day_number_to_date(base + n, &d);
            if (date_to_day_number(&d) != base + n)
                mismatch = true;
        }
    };
    std::thread other(convert, 1000.0);
    convert(9000.0);
    other.join();
    CHECK_FALSE(mismatch);
}

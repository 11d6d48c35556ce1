// Day numbers: days from noon of 1 January 2000, local time, as doubles.
// The conversions keep no state, so the worker thread and the panel's
// thread use them at once without a lock.
#include "panel/day_number.h"

#include <atomic>
#include <math.h>
#include <string.h>
#include <time.h>

static std::atomic<ClockSource> clock_source(nullptr);

void set_clock_source(ClockSource source)
{
    clock_source.store(source);
}

int64_t clock_now_seconds(void)
{
    ClockSource source = clock_source.load();
    return source != nullptr ? source() : (int64_t)time(NULL);
}

void local_now_date(CalendarDate *date)
{
    local_date_of_seconds(clock_now_seconds(), date);
}

void local_date_of_seconds(int64_t seconds, CalendarDate *date)
{
    memset(date, 0, sizeof *date);
    time_t now = (time_t)seconds;
    struct tm local;
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0)
        return;
#else
    if (localtime_r(&now, &local) == NULL)
        return;
#endif
    date->year = local.tm_year + 1900;
    date->month = local.tm_mon + 1;
    date->day = local.tm_mday;
    date->hour = local.tm_hour;
    date->minute = local.tm_min;
    date->second = local.tm_sec;
}

double date_to_day_number(const CalendarDate *date)
{
    double a = (date->year + 4800) * 12 + date->month - 3;
    double b = floor((2 * (a - 12 * floor(a / 12)) + 7 + 365 * a) / 12);
    double n = b + date->day + floor(a / 48) - 32083;
    if (n > 2299171)
        n += floor(a / 4800) - floor(a / 1200) + 38;
    return n + date->hour / 24 + date->minute / 1440 + date->second / 86400 - 0.5 - 2451545;
}

double today_day_number(void)
{
    CalendarDate now;
    local_now_date(&now);
    return date_to_day_number(&now);
}

double round_half_up(double x)
{
    double r = floor(x);
    return x - r >= 0.5 ? r + 1 : r;
}

// Computed afresh on every call: a cache of the last input would be shared
// by the worker thread and the panel's thread, and gives the same results.
void days1900_to_calendar(double j, int *month, double *day, int *year)
{
    if (j == 0) {
        *month = 12;
        *day = 31.5;
        *year = 1899;
        return;
    }
    double d = j + 0.5;
    double i = floor(d);
    double f = d - i;
    if (f == 1) {
        f = 0;
        i += 1;
    }
    if (i > -115860) {
        double a = floor(i / 36524.25 + 0.99835726) + 14;
        i = i + 1 + a - floor(a / 4);
    }
    double b = floor(i / 365.25 + 0.802601);
    double c = i - floor(365.25 * b + 0.750001) + 416;
    double g = floor(c / 30.6001);
    *month = (int)(g - 1);
    *day = c - floor(30.6001 * g) + f;
    *year = (int)(b + 1899);
    if (g > 13.5)
        *month = (int)(g - 13);
    if (*month < 2.5)
        *year = (int)(b + 1900);
    if (*year < 1)
        *year -= 1;
}

void day_number_to_date(double day_number, CalendarDate *date)
{
    int month, year;
    double day;
    days1900_to_calendar(day_number + 36525, &month, &day, &year);
    double fraction = day - trunc(day);
    int seconds = (int)round_half_up(fraction * 24 * 3600);
    date->second = seconds % 60;
    date->minute = (seconds / 60) % 60;
    date->hour = seconds / 3600;
    date->day = floor(day);
    date->month = month;
    date->year = year;
}

int weekday_of_day_number(double day_number)
{
    int w = (int)floor(day_number - 0.5);
    w %= 7;
    if (w < 0)
        w += 7;
    return w;
}

// Fixed present moments for tests.
#include "tests/support/page_clock.h"

#include <string.h>
#include <time.h>

#include "panel/day_number.h"

namespace {

int64_t fixed_seconds;

int64_t fixed_clock(void)
{
    return fixed_seconds;
}

} // namespace

int64_t page_clock_local_seconds(int year, int month, int day, int hour, int minute, int second)
{
    struct tm broken;
    memset(&broken, 0, sizeof broken);
    broken.tm_year = year - 1900;
    broken.tm_mon = month - 1;
    broken.tm_mday = day;
    broken.tm_hour = hour;
    broken.tm_min = minute;
    broken.tm_sec = second;
    broken.tm_isdst = -1;
    return (int64_t)mktime(&broken);
}

void page_clock_set_local(int year, int month, int day, int hour, int minute, int second)
{
    fixed_seconds = page_clock_local_seconds(year, month, day, hour, minute, second);
    set_clock_source(fixed_clock);
}

void page_clock_release(void)
{
    set_clock_source(NULL);
}

double page_noon_day_number(int year, int month, int day)
{
    CalendarDate date = {(double)year, (double)month, (double)day, 12.0, 0.0, 0.0};
    return date_to_day_number(&date);
}

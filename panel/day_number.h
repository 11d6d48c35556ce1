// Day numbers: days counted from noon of 1 January 2000, local time.
#ifndef VELVANE_PANEL_DAY_NUMBER_H
#define VELVANE_PANEL_DAY_NUMBER_H

#include <stdint.h>

struct CalendarDate {
    double year;
    double month;   // 1..12
    double day;     // 1..31
    double hour;
    double minute;
    double second;
};

void local_now_date(CalendarDate *date);
// The local date and time of a moment in seconds since 1970 (UTC); all zero
// when the system cannot convert it.
void local_date_of_seconds(int64_t seconds, CalendarDate *date);
double date_to_day_number(const CalendarDate *date);
double today_day_number(void);
void day_number_to_date(double day_number, CalendarDate *date);
// j counts days from noon of 31 December 1899.
void days1900_to_calendar(double j, int *month, double *day, int *year);
double round_half_up(double x);
int weekday_of_day_number(double day_number);

// Clock seam for tests and tools: when a source is set, the present moment
// (seconds since 1970, UTC) comes from it instead of the system clock.
// Null restores the real clock. The program itself never sets one.
typedef int64_t (*ClockSource)(void);
void set_clock_source(ClockSource source);
// The present moment as seconds since 1970, from the seam or the system clock.
int64_t clock_now_seconds(void);

#endif

// A fixed present moment for tests and fuzz targets, through the clock seam
// of panel/day_number.h.
#ifndef VELVANE_TESTS_SUPPORT_PAGE_CLOCK_H
#define VELVANE_TESTS_SUPPORT_PAGE_CLOCK_H

#include <stdint.h>

// Seconds since 1970 of a local date and time (-1 when the C library
// cannot place it).
int64_t page_clock_local_seconds(int year, int month, int day, int hour, int minute, int second);

// From now on the present moment is this local date and time.
void page_clock_set_local(int year, int month, int day, int hour, int minute, int second);

// Back to the system clock.
void page_clock_release(void);

// The day number of noon of a date (no clock involved).
double page_noon_day_number(int year, int month, int day);

#endif

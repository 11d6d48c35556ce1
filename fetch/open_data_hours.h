// The open data's hourly figures, read into each day's three-hour steps.
// The JSON reader hands over the hourly block one hour at a time, its values
// already in °C, mm and plain numbers; this side places them by their stamps
// alone (no index arithmetic), so a day cut short, a gap or a repeated stamp
// costs only the steps it touches.
#ifndef VELVANE_FETCH_OPEN_DATA_HOURS_H
#define VELVANE_FETCH_OPEN_DATA_HOURS_H

#include <stddef.h>
#include <stdint.h>

#include "fetch/weather_record.h"

// The physical range of each open-data figure in the record's unit, for
// the days, the observation and the hours alike: a rounded value outside it
// (a wind of -32768 m/s, a humidity of 120) is no value.
struct OpenDataRange {
    double low;
    double high;
};
const OpenDataRange OPEN_DATA_TEMPERATURE = {-90, 60};
const OpenDataRange OPEN_DATA_SPEED = {0, 120};
const OpenDataRange OPEN_DATA_PERCENT = {0, 100};
const OpenDataRange OPEN_DATA_PRESSURE = {400, 850};  // mm of mercury at the place
const OpenDataRange OPEN_DATA_PRECIPITATION = {0, 2000};

// v snapped to six decimals, then rounded half away from zero to decimals
// places (0 to 6), exactly in decimal (the conversions leave binary noise:
// 9 km/h / 3.6 may come out a hair below 2.5); *out receives it in units of
// 10^-decimals. 0 when v is not finite or the rounded figure lies outside
// the range (in v's own unit) or outside 32 bits.
int open_data_figure(double v, int32_t decimals, OpenDataRange range, int32_t *out);

// One hour of the hourly block; a value without its has_ flag is missing.
struct HourFigures {
    int32_t has_temperature, has_code, has_precipitation;
    double temperature;    // °C
    double code;           // WMO weather code
    double precipitation;  // mm in the hour before the stamp
};

// The reading of one answer into the days of a record that already carry
// their dates (the days part just filled).
struct HourlyReading {
    WeatherRecord *record;
    int32_t utc_offset_seconds;
    int32_t day_keys[FORECAST_DAYS];   // whole day numbers; 0 for a day without date
    uint8_t figures_seen[FORECAST_DAYS][HOUR_STEPS];   // the step's own hour met
    uint8_t precip_seen[FORECAST_DAYS][HOUR_STEPS];    // bit k: hour HH+k+1 met
    uint8_t precip_bad[FORECAST_DAYS][HOUR_STEPS];     // one of them had no value
    double precip_sum[FORECAST_DAYS][HOUR_STEPS];
};

// Begins a reading; the days' hours are cleared. utc_offset_seconds is the
// answer's, or NO_UTC_OFFSET.
void hourly_reading_begin(HourlyReading *reading, WeatherRecord *record, int32_t utc_offset_seconds);

// One hour stamped "YYYY-MM-DDTHH:MM" (the place's own time): at HH:00 of a
// day's date with HH a multiple of 3, the step's temperature and condition;
// the precipitation of HH:00 counts for the step that ends at or after it
// (00:00 for step 21 of the day before). Other stamps are passed over.
void hourly_reading_add(HourlyReading *reading, const char *stamp, size_t length, const HourFigures *figures);

// The daily block's weather code of the day dated "YYYY-MM-DD" (the heads-up
// reads the day's worst weather from it; the steps see only every third hour).
void hourly_reading_day_code(HourlyReading *reading, const char *date, size_t length, int32_t has_code, double code);

// Sums each step's precipitation and marks the days that got any figure.
void hourly_reading_end(HourlyReading *reading);

#endif

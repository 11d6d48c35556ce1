// The hourly figures placed into the days' steps by their stamps.
#include "fetch/open_data_hours.h"

#include <math.h>
#include <string.h>

#include "fetch/open_data_parser.h"
#include "panel/day_number.h"

namespace {

enum { STAMP_LENGTH = 16, HOURS_PER_DAY = 24, ALL_THREE = 7 };

const double POWERS_OF_TEN[7] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// "YYYY-MM-DDTHH:MM" of a real date: the whole day number of its noon and
// the hour; 0 for anything else, and for a minute other than 00 (a stamp
// off the whole hour names no step).
int read_stamp(const char *text, size_t length, int32_t *day_key, int32_t *hour)
{
    static const char SHAPE[] = "0000-00-00T00:00";
    if (text == NULL || length != STAMP_LENGTH)
        return 0;
    int32_t n[16];
    for (int i = 0; i < STAMP_LENGTH; i++) {
        if (SHAPE[i] == '0') {
            if (text[i] < '0' || text[i] > '9')
                return 0;
            n[i] = text[i] - '0';
        } else if (text[i] != SHAPE[i]) {
            return 0;
        }
    }
    int32_t year = n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3];
    int32_t month = n[5] * 10 + n[6];
    int32_t day = n[8] * 10 + n[9];
    *hour = n[11] * 10 + n[12];
    int32_t minute = n[14] * 10 + n[15];
    static const int32_t MONTH_DAYS[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > MONTH_DAYS[month - 1] || (month == 2 && day == 29 && !leap) ||
        *hour >= HOURS_PER_DAY || minute != 0)
        return 0;
    CalendarDate date = {(double)year, (double)month, (double)day, 12.0, 0.0, 0.0};
    *day_key = (int32_t)trunc(date_to_day_number(&date) + 0.5);
    return 1;
}

// A WMO code the table knows, or NO_VALUE.
int32_t known_code(int32_t has_code, double code)
{
    if (!has_code || code != floor(code) || code < 0 || code > 255 || open_data_condition_code((int32_t)code) == 0)
        return NO_VALUE;
    return (int32_t)code;
}

int day_index(const HourlyReading *reading, int32_t day_key)
{
    for (int d = 0; d < FORECAST_DAYS; d++)
        if (reading->day_keys[d] != 0 && reading->day_keys[d] == day_key)
            return d;
    return -1;
}

void place_figures(HourlyReading *reading, int d, int32_t step, const HourFigures *figures)
{
    if (reading->figures_seen[d][step])
        return;  // a repeated stamp: the first one holds
    reading->figures_seen[d][step] = 1;
    HourStep *s = &reading->record->days[d].hours.steps[step];
    int32_t v;
    if (figures->has_temperature &&
        open_data_figure(figures->temperature, 0, OPEN_DATA_TEMPERATURE, &v))
        s->temperature = v;
    s->code = known_code(figures->has_code, figures->code);
    if (s->code != NO_VALUE)
        s->condition = open_data_condition_code(s->code);
}

// The precipitation stamped HH:00 is the hour before it: the third hour of
// step HH-3, the second of HH-2 or the first of HH-1, and 00:00 closes the
// day before's step 21.
void place_precipitation(HourlyReading *reading, int32_t day_key, int32_t hour, const HourFigures *figures)
{
    int32_t owner_key = day_key, owner_hour = hour - 1;
    if (hour == 0) {
        owner_key = day_key - 1;
        owner_hour = HOURS_PER_DAY - 1;
    }
    int d = day_index(reading, owner_key);
    if (d < 0)
        return;
    int32_t step = owner_hour / HOURS_PER_STEP;
    uint8_t bit = (uint8_t)(1u << (owner_hour % HOURS_PER_STEP));
    if (reading->precip_seen[d][step] & bit)
        return;
    reading->precip_seen[d][step] |= bit;
    int32_t tenths;
    if (!figures->has_precipitation ||
        !open_data_figure(figures->precipitation, 1, OPEN_DATA_PRECIPITATION, &tenths))
        reading->precip_bad[d][step] = 1;
    else
        reading->precip_sum[d][step] += figures->precipitation;
}

int step_has_figure(const HourStep *s)
{
    return s->temperature != NO_TEMPERATURE || s->condition != 0 || s->precipitation_tenths != NO_VALUE;
}

} // namespace

int open_data_figure(double v, int32_t decimals, OpenDataRange range, int32_t *out)
{
    if (!isfinite(v) || decimals < 0 || decimals > 6)
        return 0;
    double scale = POWERS_OF_TEN[decimals];
    double figure;
    if (fabs(v) < 1e9) {
        // Exactly in decimal: the conversions leave binary noise (9 km/h /
        // 3.6 may come out a hair below 2.5), which the snap removes.
        int64_t micro = llround(v * 1e6);
        int64_t unit = (int64_t)POWERS_OF_TEN[6 - decimals];
        int64_t q = micro / unit, rest = micro % unit;
        if ((rest < 0 ? -rest : rest) * 2 >= unit)
            q += micro < 0 ? -1 : 1;
        figure = (double)q;
    } else {
        figure = round(v * scale);
    }
    if (figure < range.low * scale || figure > range.high * scale || figure < INT32_MIN || figure > INT32_MAX)
        return 0;
    *out = (int32_t)figure;
    return 1;
}

void hourly_reading_begin(HourlyReading *reading, WeatherRecord *record, int32_t utc_offset_seconds)
{
    memset(reading, 0, sizeof *reading);
    reading->record = record;
    reading->utc_offset_seconds = utc_offset_seconds;
    for (int d = 0; d < FORECAST_DAYS; d++) {
        day_hours_reset(&record->days[d].hours);
        double date = record->days[d].date;
        reading->day_keys[d] = date > (double)FORECAST_DAYS && date < 1e8 ? (int32_t)trunc(date + 0.5) : 0;
    }
}

void hourly_reading_add(HourlyReading *reading, const char *stamp, size_t length, const HourFigures *figures)
{
    int32_t day_key, hour;
    if (!read_stamp(stamp, length, &day_key, &hour))
        return;
    int d = day_index(reading, day_key);
    if (d >= 0 && hour % HOURS_PER_STEP == 0)
        place_figures(reading, d, hour / HOURS_PER_STEP, figures);
    place_precipitation(reading, day_key, hour, figures);
}

void hourly_reading_day_code(HourlyReading *reading, const char *date, size_t length, int32_t has_code, double code)
{
    // A date is a stamp's first ten characters.
    char stamp[STAMP_LENGTH + 1];
    if (date == NULL || length != 10)
        return;
    memcpy(stamp, date, 10);
    memcpy(stamp + 10, "T00:00", 7);
    int32_t day_key, hour;
    if (!read_stamp(stamp, STAMP_LENGTH, &day_key, &hour))
        return;
    int d = day_index(reading, day_key);
    if (d >= 0 && reading->record->days[d].hours.day_code == NO_VALUE)
        reading->record->days[d].hours.day_code = known_code(has_code, code);
}

void hourly_reading_end(HourlyReading *reading)
{
    for (int d = 0; d < FORECAST_DAYS; d++) {
        if (reading->day_keys[d] == 0)
            continue;
        DayHours *hours = &reading->record->days[d].hours;
        for (int s = 0; s < HOUR_STEPS; s++) {
            int32_t tenths;
            if (reading->precip_seen[d][s] == ALL_THREE && !reading->precip_bad[d][s] &&
                open_data_figure(reading->precip_sum[d][s], 1, OPEN_DATA_PRECIPITATION, &tenths))
                hours->steps[s].precipitation_tenths = tenths;
            if (step_has_figure(&hours->steps[s]))
                hours->has_any = 1;
        }
        if (hours->has_any)
            hours->utc_offset_seconds = reading->utc_offset_seconds;
    }
}

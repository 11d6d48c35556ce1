// The weather record: everything the two pages of the weather service yield
// for the chosen location, filled by the page parsers and read by the panel.
#ifndef VELVANE_FETCH_WEATHER_RECORD_H
#define VELVANE_FETCH_WEATHER_RECORD_H

#include <atomic>
#include <stdint.h>

enum {
    FORECAST_DAYS = 7,
    WIND_DIRECTION_MAX = 15,                       // bytes of text kept
    WIND_DIRECTION_SIZE = WIND_DIRECTION_MAX + 1,  // with its zero byte
    NO_TEMPERATURE = 100,
    NO_VALUE = -1
};

// A comment is a heap block (util/mem.h) owned by the record, or null. The
// writer stores the pointer only after the block's bytes are in place, with
// release ordering (weather_comment_store); a reader loads it with acquire
// ordering (weather_comment) and so sees either null or the whole text.
typedef std::atomic<char *> CommentSlot;

// The day in eight three-hour steps (00, 03 ... 21 in the place's own time)
// from the open data's hourly figures: the temperature and condition of the
// step's first hour and the precipitation of its three hours. Pages give no
// hours: a day from them has has_any 0.
enum { HOUR_STEPS = 8, HOURS_PER_STEP = 3, NO_UTC_OFFSET = INT32_MIN };

struct HourStep {
    int32_t temperature;           // degrees; NO_TEMPERATURE for none
    int32_t condition;             // 1..19; 0 for none
    int32_t precipitation_tenths;  // tenths of a mm; NO_VALUE for none
    int32_t code;                  // the WMO weather code behind condition; NO_VALUE for none
};

struct DayHours {
    HourStep steps[HOUR_STEPS];
    int32_t has_any;               // 1 when a step has any figure
    int32_t day_code;              // the day's WMO weather code (its worst); NO_VALUE for none
    int32_t utc_offset_seconds;    // the place's offset that day; NO_UTC_OFFSET when not given
};

struct ForecastDay {
    double date;  // day number of noon of the day; 0.0 for no date
    int16_t day_temperature;
    int16_t night_temperature;
    int32_t precip;
    int32_t precip_probability;
    char wind_direction[WIND_DIRECTION_SIZE];
    int16_t wind_speed;
    int16_t condition;
    CommentSlot comment;
    DayHours hours;  // belongs to this day's date and place alone
};

// The parts of the record that a fetch brings, keeps or fills: the
// observation and the seven days.
enum {
    WEATHER_PART_OBSERVATION = 1,
    WEATHER_PART_DAYS = 2,
    WEATHER_PARTS_ALL = WEATHER_PART_OBSERVATION | WEATHER_PART_DAYS
};

struct WeatherRecord {
    int16_t temperature;
    int32_t pressure;
    int32_t humidity;
    int32_t precip_6h;
    int32_t precip_12h;
    int32_t precip_24h;
    char wind_direction[WIND_DIRECTION_SIZE];
    int16_t wind_speed;
    int16_t condition;
    CommentSlot comment;
    ForecastDay days[FORECAST_DAYS];
};

// The one record of the process: null until the fetch job creates it at the
// first fetch, never released after that.
extern WeatherRecord *weather_record;

// A new record, already reset; null when the heap is exhausted. Release it
// with weather_record_destroy (the program never does).
WeatherRecord *weather_record_create(void);
void weather_record_destroy(WeatherRecord *record);

// Releases the eight comments and brings every field to its no-value state:
// temperatures 100; pressure, humidity, the three precipitation totals and
// the observation's wind speed -1; every day's hours without figures;
// everything else zero, every comment null.
// Null is accepted and does nothing.
void weather_record_reset(WeatherRecord *record);

// A day's hours without any figure.
void day_hours_reset(DayHours *hours);

// The same for one part: the observation fields, or the seven days.
void weather_record_reset_observation(WeatherRecord *record);
void weather_record_reset_days(WeatherRecord *record);

// The comment held in a slot, or null (acquire load).
const char *weather_comment(const CommentSlot *slot);

// Makes text (a heap block whose bytes are all written, or null) the slot's
// comment with a release store, and releases the comment it held before. The
// parsers store only into slots that the reset has emptied, so no reader can
// still hold a block that this releases.
void weather_comment_store(CommentSlot *slot, char *text);

#endif

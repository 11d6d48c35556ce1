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
// the observation's wind speed -1; everything else zero, every comment null.
// Null is accepted and does nothing.
void weather_record_reset(WeatherRecord *record);

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

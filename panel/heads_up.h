// The heads-up before severe weather: what today's hours still ahead and
// tomorrow bring, the notice's text, and the compact stored ledger of what
// was already told, so that each place, day and kind is told at most once,
// also across restarts.
#ifndef VELVANE_PANEL_HEADS_UP_H
#define VELVANE_PANEL_HEADS_UP_H

#include <stdint.h>

#include "fetch/weather_record.h"

// The kinds of severe weather, as bits.
enum {
    HEADS_UP_THUNDERSTORM = 1 << 0,   // WMO 95-99; a page's condition 8, 18, 19
    HEADS_UP_HEAVY_RAIN = 1 << 1,     // 65, 82
    HEADS_UP_FREEZING_RAIN = 1 << 2,  // 66, 67
    HEADS_UP_HEAVY_SNOW = 1 << 3,     // 75, 86; a page's condition 2
    HEADS_UP_WIND = 1 << 4,           // HEADS_UP_WIND_MIN m/s or more
    HEADS_UP_FROST = 1 << 5,          // HEADS_UP_FROST_MAX degrees or below
    HEADS_UP_HEAT = 1 << 6,           // HEADS_UP_HEAT_MIN degrees or above
    HEADS_UP_KINDS = (1 << 7) - 1
};
enum { HEADS_UP_WIND_MIN = 15, HEADS_UP_FROST_MAX = -25, HEADS_UP_HEAT_MIN = 30 };

// The severe weather of one day still ahead.
struct HeadsUpDay {
    int32_t day_key;      // the place's date, a whole day number
    int32_t is_tomorrow;  // 0: today
    int32_t kinds;        // HEADS_UP_* bits; 0 for nothing severe
    int32_t wind;         // the strongest wind, m/s (with HEADS_UP_WIND)
    int32_t coldest;      // degrees (with HEADS_UP_FROST)
    int32_t warmest;      // degrees (with HEADS_UP_HEAT)
};

int32_t heads_up_kinds_of_code(int32_t wmo_code);
int32_t heads_up_kinds_of_condition(int32_t condition);

// The severe weather ahead in record at now (seconds since 1970, UTC), by
// the place's own date: today from its steps not yet past (a day without
// hours, from the pages, by its day figures), tomorrow whole. Fills out[0]
// for today and out[1] for tomorrow (kinds 0 when there is no such day).
void heads_up_scan(const WeatherRecord *record, int64_t now, HeadsUpDay out[2]);

// The notice, code page 1251, for the kinds given of day at place_name (code
// page 1251): "Москва, завтра: сильный снег, ветер до 17 м/с". A new text
// (mem_free), or null.
char *heads_up_text(const char *place_name, const HeadsUpDay *day, int32_t kinds);

// The tooltip's line while severe weather lasts, code page 1251: "Сегодня:
// гроза, ветер до 17 м/с" for today's hours ahead, else "Завтра: ..."; null
// when neither brings any.
char *heads_up_tip_line(const HeadsUpDay days[2]);

// The tooltip with that line after the place's line (its second), cut so
// that the whole stays within max_chars. A new text, or null.
char *tip_with_heads_up(const char *tip, const char *line, uint32_t max_chars);

// The tooltip tip with the line of the severe weather that record brings
// ahead at now (heads_up_tip_line, tip_with_heads_up within the tooltip's
// TRAY_TIP_MAX_CHARS); a copy of tip when record is null or brings none. A
// new text, or null.
char *tip_with_severe_weather(const char *tip, const WeatherRecord *record, int64_t now);

// What was told: per place (a hash of its location path) and day, the kinds.
enum { HEADS_UP_TOLD_MAX = 24, HEADS_UP_ENTRY_BYTES = 10, HEADS_UP_HEADER_BYTES = 4,
       HEADS_UP_TOLD_BYTES = HEADS_UP_HEADER_BYTES + HEADS_UP_TOLD_MAX * HEADS_UP_ENTRY_BYTES };

struct HeadsUpTold {
    int32_t count;
    struct {
        uint32_t place;
        int32_t day_key;
        int32_t kinds;
    } entries[HEADS_UP_TOLD_MAX];
};

uint32_t heads_up_place_hash(const char *location_path);

// The stored form: a 4-byte header ("VH", version, count) and 10 bytes an
// entry (place, day, kinds, a check byte). Decoding takes what is sound: a
// wrong header gives nothing, an entry whose check fails is left out, bytes
// past the count are ignored. Encoding writes at most HEADS_UP_TOLD_BYTES
// and returns the length.
void heads_up_told_decode(const uint8_t *bytes, uint32_t length, HeadsUpTold *told);
uint32_t heads_up_told_encode(const HeadsUpTold *told, uint8_t *bytes, uint32_t size);

// Of kinds for place and day, those not told yet; they are marked told.
// Entries of days before yesterday (today_key - 1) are dropped first, and
// when the ledger is full the one of the earliest day gives way.
int32_t heads_up_tell(HeadsUpTold *told, uint32_t place, int32_t day_key, int32_t kinds, int32_t today_key);

// The next notice to give for a place at now: the first of today and
// tomorrow with kinds not told yet, which are then marked told. A new text
// (code page 1251) with *day_key set to its day, or null.
char *heads_up_next_notice(const WeatherRecord *record, const char *location_path, const char *place_name,
                           int64_t now, HeadsUpTold *told, int32_t *day_key);

#endif

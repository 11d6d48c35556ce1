// The heads-up rules, its texts and the ledger of what was told.
#include "panel/heads_up.h"

#include <math.h>
#include <string.h>

#include "fetch/encoding.h"
#include "panel/hour_strip.h"
#include "panel/tray_text.h"
#include "util/format.h"
#include "util/mem.h"

namespace {

const char CP1251_ELLIPSIS = '\x85';
const uint8_t TOLD_MAGIC_0 = 'V', TOLD_MAGIC_1 = 'H', TOLD_VERSION = 1;

// The words of the kinds without a figure, in the order a notice names them.
const struct {
    int32_t kind;
    const char *words;
} KIND_WORDS[] = {
    {HEADS_UP_THUNDERSTORM, "гроза"},
    {HEADS_UP_HEAVY_RAIN, "сильный дождь"},
    {HEADS_UP_FREEZING_RAIN, "ледяной дождь"},
    {HEADS_UP_HEAVY_SNOW, "сильный снег"},
};

int32_t day_key_of(double date)
{
    return (int32_t)trunc(date + 0.5);
}

void note_temperature(HeadsUpDay *day, int32_t temperature)
{
    if (temperature == NO_TEMPERATURE)
        return;
    if (temperature < day->coldest)
        day->coldest = temperature;
    if (temperature > day->warmest)
        day->warmest = temperature;
}

// One day's severe weather from its step first_step on; the day's own
// figures (its code, maximum and minimum) only when the whole day is ahead.
void scan_day(const ForecastDay *day, int32_t first_step, HeadsUpDay *out)
{
    out->coldest = INT32_MAX;
    out->warmest = INT32_MIN;
    int32_t kinds = 0;
    const DayHours *hours = &day->hours;
    if (hours->has_any) {
        for (int32_t s = first_step; s < HOUR_STEPS; s++) {
            kinds |= heads_up_kinds_of_code(hours->steps[s].code);
            note_temperature(out, hours->steps[s].temperature);
        }
    }
    if (!hours->has_any || first_step == 0) {
        kinds |= hours->day_code != NO_VALUE ? heads_up_kinds_of_code(hours->day_code)
                                             : heads_up_kinds_of_condition(day->condition);
        note_temperature(out, day->day_temperature);
        note_temperature(out, day->night_temperature);
    }
    // The wind is the day's strongest: the open data gives no hourly wind.
    out->wind = day->wind_speed;
    if (day->wind_speed >= HEADS_UP_WIND_MIN)
        kinds |= HEADS_UP_WIND;
    if (out->coldest <= HEADS_UP_FROST_MAX)
        kinds |= HEADS_UP_FROST;
    if (out->warmest >= HEADS_UP_HEAT_MIN)
        kinds |= HEADS_UP_HEAT;
    out->kinds = kinds;
}

// The kinds' words joined by ", ", UTF-8; a new text or null.
char *kinds_words(const HeadsUpDay *day, int32_t kinds)
{
    char *text = dup_string("");
    for (const auto &entry : KIND_WORDS) {
        if (text != NULL && (kinds & entry.kind)) {
            char *longer = format_string("%s%s%s", text, text[0] ? ", " : "", entry.words);
            mem_free(text);
            text = longer;
        }
    }
    const struct {
        int32_t kind;
        const char *format;
        int32_t figure;
    } FIGURES[] = {
        {HEADS_UP_WIND, "%s%sветер до %d м/с", day->wind},
        {HEADS_UP_FROST, "%s%sмороз до %d°", day->coldest},
        {HEADS_UP_HEAT, "%s%sжара до %+d°", day->warmest},
    };
    for (const auto &entry : FIGURES) {
        if (text != NULL && (kinds & entry.kind)) {
            char *longer = format_string(entry.format, text, text[0] ? ", " : "", (int)entry.figure);
            mem_free(text);
            text = longer;
        }
    }
    return text;
}

char *to_cp1251(char *utf8)
{
    char *text = utf8 != NULL ? utf8_to_cp1251(utf8) : NULL;
    mem_free(utf8);
    return text;
}

uint8_t check_byte(const uint8_t *bytes, uint32_t count)
{
    uint8_t crc = 0x5A;  // CRC-8 (x^8 + x^2 + x + 1) from a non-zero start: zeros do not pass
    for (uint32_t i = 0; i < count; i++) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; bit++)
            crc = (uint8_t)(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

void put_le32(uint8_t *bytes, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        bytes[i] = (uint8_t)(v >> (8 * i));
}

uint32_t get_le32(const uint8_t *bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

} // namespace

int32_t heads_up_kinds_of_code(int32_t wmo_code)
{
    if (wmo_code >= 95 && wmo_code <= 99)
        return HEADS_UP_THUNDERSTORM;
    if (wmo_code == 65 || wmo_code == 82)
        return HEADS_UP_HEAVY_RAIN;
    if (wmo_code == 66 || wmo_code == 67)
        return HEADS_UP_FREEZING_RAIN;
    if (wmo_code == 75 || wmo_code == 86)
        return HEADS_UP_HEAVY_SNOW;
    return 0;
}

int32_t heads_up_kinds_of_condition(int32_t condition)
{
    // Pictures 8 (lightning and rain), 18 (lightning), 19 (sun, lightning
    // and rain); 2 (heavy snow). No other condition tells a kind apart.
    if (condition == 8 || condition == 18 || condition == 19)
        return HEADS_UP_THUNDERSTORM;
    if (condition == 2)
        return HEADS_UP_HEAVY_SNOW;
    return 0;
}

void heads_up_scan(const WeatherRecord *record, int64_t now, HeadsUpDay out[2])
{
    memset(out, 0, 2 * sizeof out[0]);
    if (record == NULL)
        return;
    int32_t offset = NO_UTC_OFFSET;
    for (const ForecastDay &day : record->days)
        if (day.hours.has_any && offset == NO_UTC_OFFSET)
            offset = day.hours.utc_offset_seconds;
    int32_t today, hour;
    place_now(offset, now, &today, &hour);
    out[0].day_key = today;
    out[1].day_key = today + 1;
    out[1].is_tomorrow = 1;
    for (int i = 0; i < 2; i++) {
        for (const ForecastDay &day : record->days) {
            if (day.date != 0.0 && day_key_of(day.date) == out[i].day_key) {
                scan_day(&day, i == 0 ? hour / HOURS_PER_STEP : 0, &out[i]);
                break;
            }
        }
    }
}

char *heads_up_text(const char *place_name, const HeadsUpDay *day, int32_t kinds)
{
    char *words = to_cp1251(kinds_words(day, kinds));
    char *when = to_cp1251(dup_string(day->is_tomorrow ? "завтра" : "сегодня"));
    char *text = words != NULL && when != NULL && words[0] != 0
                     ? format_string("%s, %s: %s", place_name != NULL ? place_name : "", when, words)
                     : NULL;
    mem_free(words);
    mem_free(when);
    return text;
}

char *heads_up_tip_line(const HeadsUpDay days[2])
{
    const HeadsUpDay *day = days[0].kinds ? &days[0] : (days[1].kinds ? &days[1] : NULL);
    if (day == NULL)
        return NULL;
    char *words = kinds_words(day, day->kinds);
    char *line = words != NULL ? format_string("%s: %s", day->is_tomorrow ? "Завтра" : "Сегодня", words) : NULL;
    mem_free(words);
    return to_cp1251(line);
}

char *tip_with_heads_up(const char *tip, const char *line, uint32_t max_chars)
{
    if (tip == NULL)
        return NULL;
    if (line == NULL || line[0] == 0)
        return dup_string(tip);
    const char *first_break = strchr(tip, '\n');
    const char *second_break = first_break != NULL ? strchr(first_break + 1, '\n') : NULL;
    size_t head = second_break != NULL ? (size_t)(second_break - tip) : strlen(tip);
    size_t rest = strlen(tip) - head;
    size_t fixed = head + 1 + rest;
    if (fixed + 2 > max_chars)
        return dup_string(tip);
    size_t room = max_chars - fixed;
    char *cut = dup_string(line);
    if (cut == NULL)
        return NULL;
    if (strlen(cut) > room) {
        cut[room - 1] = CP1251_ELLIPSIS;
        cut[room] = 0;
    }
    char *text = format_string("%.*s\n%s%s", (int)head, tip, cut, tip + head);
    mem_free(cut);
    return text;
}

char *tip_with_severe_weather(const char *tip, const WeatherRecord *record, int64_t now)
{
    HeadsUpDay days[2];
    heads_up_scan(record, now, days);
    char *line = heads_up_tip_line(days);
    char *text = tip_with_heads_up(tip, line, TRAY_TIP_MAX_CHARS);
    mem_free(line);
    return text;
}

uint32_t heads_up_place_hash(const char *location_path)
{
    uint32_t h = 2166136261u;  // FNV-1a
    for (const char *c = location_path != NULL ? location_path : ""; *c; c++)
        h = (h ^ (uint8_t)*c) * 16777619u;
    return h;
}

void heads_up_told_decode(const uint8_t *bytes, uint32_t length, HeadsUpTold *told)
{
    memset(told, 0, sizeof *told);
    if (bytes == NULL || length < HEADS_UP_HEADER_BYTES || bytes[0] != TOLD_MAGIC_0 || bytes[1] != TOLD_MAGIC_1 ||
        bytes[2] != TOLD_VERSION)
        return;
    uint32_t count = bytes[3];
    for (uint32_t i = 0; i < count && i < HEADS_UP_TOLD_MAX; i++) {
        uint32_t at = HEADS_UP_HEADER_BYTES + i * HEADS_UP_ENTRY_BYTES;
        if (at + HEADS_UP_ENTRY_BYTES > length)
            break;
        const uint8_t *entry = bytes + at;
        if (check_byte(entry, HEADS_UP_ENTRY_BYTES - 1) != entry[HEADS_UP_ENTRY_BYTES - 1] ||
            (entry[8] & ~HEADS_UP_KINDS) != 0)
            continue;
        told->entries[told->count].place = get_le32(entry);
        told->entries[told->count].day_key = (int32_t)get_le32(entry + 4);
        told->entries[told->count].kinds = entry[8];
        told->count++;
    }
}

uint32_t heads_up_told_encode(const HeadsUpTold *told, uint8_t *bytes, uint32_t size)
{
    int32_t count = told->count < 0 ? 0 : (told->count > HEADS_UP_TOLD_MAX ? HEADS_UP_TOLD_MAX : told->count);
    uint32_t length = HEADS_UP_HEADER_BYTES + (uint32_t)count * HEADS_UP_ENTRY_BYTES;
    if (bytes == NULL || size < length)
        return 0;
    bytes[0] = TOLD_MAGIC_0;
    bytes[1] = TOLD_MAGIC_1;
    bytes[2] = TOLD_VERSION;
    bytes[3] = (uint8_t)count;
    for (int32_t i = 0; i < count; i++) {
        uint8_t *entry = bytes + HEADS_UP_HEADER_BYTES + i * HEADS_UP_ENTRY_BYTES;
        put_le32(entry, told->entries[i].place);
        put_le32(entry + 4, (uint32_t)told->entries[i].day_key);
        entry[8] = (uint8_t)(told->entries[i].kinds & HEADS_UP_KINDS);
        entry[9] = check_byte(entry, HEADS_UP_ENTRY_BYTES - 1);
    }
    return length;
}

int32_t heads_up_tell(HeadsUpTold *told, uint32_t place, int32_t day_key, int32_t kinds, int32_t today_key)
{
    kinds &= HEADS_UP_KINDS;
    int32_t kept = 0;
    for (int32_t i = 0; i < told->count && i < HEADS_UP_TOLD_MAX; i++)
        if (told->entries[i].day_key >= today_key - 1)
            told->entries[kept++] = told->entries[i];
    told->count = kept;
    for (int32_t i = 0; i < told->count; i++) {
        if (told->entries[i].place == place && told->entries[i].day_key == day_key) {
            int32_t fresh = kinds & ~told->entries[i].kinds;
            told->entries[i].kinds |= kinds;
            return fresh;
        }
    }
    if (kinds == 0)
        return 0;
    int32_t slot = told->count;
    if (slot == HEADS_UP_TOLD_MAX) {
        slot = 0;
        for (int32_t i = 1; i < told->count; i++)
            if (told->entries[i].day_key < told->entries[slot].day_key)
                slot = i;
    } else {
        told->count++;
    }
    told->entries[slot].place = place;
    told->entries[slot].day_key = day_key;
    told->entries[slot].kinds = kinds;
    return kinds;
}

char *heads_up_next_notice(const WeatherRecord *record, const char *location_path, const char *place_name,
                           int64_t now, HeadsUpTold *told, int32_t *day_key)
{
    HeadsUpDay days[2];
    heads_up_scan(record, now, days);
    uint32_t place = heads_up_place_hash(location_path);
    for (const HeadsUpDay &day : days) {
        if (day.kinds == 0)
            continue;
        int32_t fresh = heads_up_tell(told, place, day.day_key, day.kinds, days[0].day_key);
        if (fresh == 0)
            continue;
        if (day_key != NULL)
            *day_key = day.day_key;
        return heads_up_text(place_name, &day, fresh);
    }
    return NULL;
}

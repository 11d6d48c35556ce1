// The open-data reader over arbitrary bytes, each input in an exact-size
// heap block so that a read past its end is caught. An answer that is not
// read leaves the record untouched; one that is read gives only the
// table's conditions, comments and wind words, days without gaps and their
// steps' figures in range; and
// a body reads the same alone as inside a whole 200 response.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fetch/open_data_parser.h"
#include "util/mem.h"

static WeatherRecord *alone;
static WeatherRecord *wrapped;

static const char HEAD[] = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n";

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    alone = weather_record_create();
    wrapped = weather_record_create();
    return 0;
}

static void check_condition(int16_t condition, const CommentSlot *slot)
{
    const char *comment = weather_comment(slot);
    if (condition == 0) {
        if (comment != NULL)
            abort();
        return;
    }
    // The comment is the table's for some code that gives this condition.
    for (int32_t code = 0; code < 100; code++) {
        if (open_data_condition_code(code) == condition && comment != NULL &&
            strcmp(comment, open_data_comment(code)) == 0)
            return;
    }
    abort();
}

static void check_word(const char *direction)
{
    static const char *const WORDS[] = {"", "С", "СВ", "В", "ЮВ", "Ю", "ЮЗ", "З", "СЗ"};
    for (const char *word : WORDS) {
        if (strcmp(direction, word) == 0)
            return;
    }
    abort();
}

// The steps hold figures in their ranges, each condition from its code, and
// only on a day with a date.
static void check_hours(const ForecastDay *d)
{
    const DayHours *h = &d->hours;
    int any = 0;
    for (const HourStep &s : h->steps) {
        if (s.temperature != NO_TEMPERATURE && (s.temperature < -90 || s.temperature > 60))
            abort();
        if (s.precipitation_tenths != NO_VALUE && (s.precipitation_tenths < 0 || s.precipitation_tenths > 20000))
            abort();
        if ((s.code == NO_VALUE) != (s.condition == 0) ||
            (s.code != NO_VALUE && open_data_condition_code(s.code) != s.condition))
            abort();
        any |= s.temperature != NO_TEMPERATURE || s.condition != 0 || s.precipitation_tenths != NO_VALUE;
    }
    if (any != h->has_any || (any && d->date == 0.0))
        abort();
    if (h->day_code != NO_VALUE && open_data_condition_code(h->day_code) == 0)
        abort();
}

static void check_record(const WeatherRecord *r)
{
    check_condition(r->condition, &r->comment);
    check_word(r->wind_direction);
    for (int i = 0; i < FORECAST_DAYS; i++) {
        const ForecastDay *d = &r->days[i];
        check_condition(d->condition, &d->comment);
        check_word(d->wind_direction);
        check_hours(d);
        if (d->date != 0.0 && (i > 0 && r->days[i - 1].date == 0.0))
            abort();  // a filled day after an empty one
    }
}

static int same_text(const char *a, const char *b)
{
    return (a == NULL && b == NULL) || (a != NULL && b != NULL && strcmp(a, b) == 0);
}

static int same_record(const WeatherRecord *a, const WeatherRecord *b)
{
    if (a->temperature != b->temperature || a->pressure != b->pressure || a->humidity != b->humidity ||
        a->precip_6h != b->precip_6h || a->precip_12h != b->precip_12h || a->precip_24h != b->precip_24h ||
        strcmp(a->wind_direction, b->wind_direction) != 0 || a->wind_speed != b->wind_speed ||
        a->condition != b->condition || !same_text(weather_comment(&a->comment), weather_comment(&b->comment)))
        return 0;
    for (int i = 0; i < FORECAST_DAYS; i++) {
        const ForecastDay *x = &a->days[i], *y = &b->days[i];
        if (x->date != y->date || x->day_temperature != y->day_temperature ||
            x->night_temperature != y->night_temperature || x->precip != y->precip ||
            x->precip_probability != y->precip_probability || strcmp(x->wind_direction, y->wind_direction) != 0 ||
            x->wind_speed != y->wind_speed || x->condition != y->condition ||
            !same_text(weather_comment(&x->comment), weather_comment(&y->comment)) ||
            memcmp(&x->hours, &y->hours, sizeof x->hours) != 0)
            return 0;
    }
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0x7FFFFFFF - sizeof HEAD)
        return 0;
    char *body = (char *)mem_alloc((uint32_t)size);
    if (size > 0 && body == NULL)
        return 0;
    if (size > 0)
        memcpy(body, data, size);
    weather_record_reset(alone);
    alone->temperature = 33;  // a mark that only a read answer may change
    int replaced = -1;
    int result = parse_open_data_into(alone, body, (int32_t)size, WEATHER_PARTS_ALL, &replaced);
    if (result != 0 && result != 1)
        abort();
    if (result == 0 && (alone->temperature != 33 || replaced != 0))
        abort();
    if (result == 1 && (replaced & ~WEATHER_PARTS_ALL) != 0)
        abort();
    check_record(alone);

    if (size < 5 || memcmp(data, "HTTP/", 5) != 0) {
        uint32_t whole_size = (uint32_t)(sizeof HEAD - 1 + size);
        char *whole = (char *)mem_alloc(whole_size);
        if (whole != NULL) {
            memcpy(whole, HEAD, sizeof HEAD - 1);
            if (size > 0)
                memcpy(whole + sizeof HEAD - 1, data, size);
            weather_record_reset(wrapped);
            wrapped->temperature = 33;
            if (parse_open_data_into(wrapped, whole, (int32_t)whole_size, WEATHER_PARTS_ALL, NULL) != result ||
                !same_record(alone, wrapped))
                abort();
            mem_free(whole);
        }
    }
    mem_free(body);
    return 0;
}

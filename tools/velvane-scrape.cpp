// velvane-scrape: runs the page parsers over saved pages and prints the
// weather record they give, one name=value line per item.
//
//   velvane-scrape [--now YYYY-MM-DDTHH:MM:SS] [--actual FILE] [--forecast FILE]
//                  [--open-data FILE] [--blocks DAYNUMBER] [--hours]
//
// It resets one record, parses the actual-weather page if given, then the
// forecast page if given, and prints the parsers' results (-1 when not run),
// the observation fields and then each forecast day's fields in record order.
// --open-data reads a saved answer of the open-data API (a whole response or
// a body) and prints "open_data_result=N" before the fields; alone it fills
// the whole record, after pages only the parts they did not give whole (as
// the program does by default), -1 when that is none.
// Texts are printed in double quotes with \\ \" \n \r \t and \xHH escapes for
// the other bytes below 0x20; bytes from 0x80 up are printed as they are. A
// null comment prints as null. --now fixes the present moment (local time)
// that the forecast's date heading is read against. --blocks adds the
// panel's two text blocks as composed for that selected day ("today" and
// "tomorrow" name the present day numbers, the panel's first choice being
// tomorrow), in UTF-8 before their conversion, quoted like the other texts.
// --hours adds, last, a line per three-hour step of each day that has any:
// "dayN.stepHH=TEMPERATURE CONDITION TENTHS_OF_MM", "-" for a figure missing.
//
//   velvane-scrape --places FILE
//
// reads a saved answer of the place search (a whole response or a body) as
// the program does and prints, instead of a record, each place it would
// offer in the answer's order: name, region, country, latitude, longitude
// (four decimals and a point), population and the catalogue place it is
// (its location path, as velvane-catalogue prints it, or "-"), separated by
// tabs, an unknown one empty; texts in UTF-8 as the answer has them. An
// answer it cannot read prints nothing and exits with 1.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "fetch/actual_parser.h"
#include "fetch/forecast_parser.h"
#include "fetch/geocoding_parser.h"
#include "fetch/open_data_parser.h"
#include "fetch/weather_record.h"
#include "panel/day_number.h"
#include "panel/weather_text.h"
#include "tools/place_text.h"
#include "tools/quoted_text.h"
#include "util/mem.h"

namespace {

struct Options {
    const char *now;       // --now, or null for the system clock
    const char *actual;    // --actual FILE
    const char *forecast;  // --forecast FILE
    const char *open_data; // --open-data FILE
    const char *blocks;    // --blocks DAYNUMBER
    const char *places;    // --places FILE
    int hours;             // --hours
};

// Each option takes one value; a later option (for instance one printing
// the panel's text blocks for a day) is one more row here and one more step
// in main.
struct OptionSpec {
    const char *name;
    const char *Options::*field;
};

const OptionSpec OPTIONS[] = {
    {"--now", &Options::now},
    {"--actual", &Options::actual},
    {"--forecast", &Options::forecast},
    {"--open-data", &Options::open_data},
    {"--blocks", &Options::blocks},
    {"--places", &Options::places},
};

void usage(FILE *to)
{
    fputs("usage: velvane-scrape [--now YYYY-MM-DDTHH:MM:SS] [--actual FILE] [--forecast FILE]"
          " [--open-data FILE] [--blocks DAYNUMBER] [--hours]\n"
          "       velvane-scrape --places FILE\n", to);
}

// 1 when the options are well formed.
int parse_options(int argc, char **argv, Options *options)
{
    memset(options, 0, sizeof *options);
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return -1;
        }
        if (strcmp(argv[i], "--hours") == 0) {
            options->hours = 1;
            continue;
        }
        const OptionSpec *spec = NULL;
        for (const OptionSpec &candidate : OPTIONS) {
            if (strcmp(argv[i], candidate.name) == 0)
                spec = &candidate;
        }
        if (spec == NULL) {
            fprintf(stderr, "velvane-scrape: unknown option %s\n", argv[i]);
            return 0;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "velvane-scrape: %s needs a value\n", argv[i]);
            return 0;
        }
        options->*(spec->field) = argv[++i];
    }
    return 1;
}

int64_t fixed_now;

int64_t fixed_clock(void)
{
    return fixed_now;
}

// YYYY-MM-DDTHH:MM:SS as local time, into seconds since 1970.
int parse_now(const char *text, int64_t *seconds)
{
    int year, month, day, hour, minute, second;
    char tail;
    if (sscanf(text, "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &tail) != 6)
        return 0;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return 0;
    struct tm broken;
    memset(&broken, 0, sizeof broken);
    broken.tm_year = year - 1900;
    broken.tm_mon = month - 1;
    broken.tm_mday = day;
    broken.tm_hour = hour;
    broken.tm_min = minute;
    broken.tm_sec = second;
    broken.tm_isdst = -1;
    time_t t = mktime(&broken);
    if (t == (time_t)-1)
        return 0;
    *seconds = (int64_t)t;
    return 1;
}

// The whole file as an exact-size block; 1 when it could be read.
int read_file(const char *path, char **bytes, int32_t *length)
{
    *bytes = NULL;
    *length = 0;
    FILE *file = fopen(path, "rb");
    if (file == NULL)
        return 0;
    char *data = NULL;
    uint32_t size = 0;
    char chunk[65536];
    size_t n;
    int ok = 1;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (size + n > 0x7FFFFFFFu) {
            ok = 0;
            break;
        }
        char *grown = (char *)mem_realloc(data, size + (uint32_t)n);
        if (grown == NULL) {
            ok = 0;
            break;
        }
        data = grown;
        memcpy(data + size, chunk, n);
        size += (uint32_t)n;
    }
    if (ferror(file))
        ok = 0;
    fclose(file);
    if (!ok) {
        mem_free(data);
        return 0;
    }
    *bytes = data;
    *length = (int32_t)size;
    return 1;
}

// Runs one parser over a file; -1 when no file was given, -2 when it could
// not be read.
int parse_file(const char *path, int (*parse)(WeatherRecord *, const char *, int32_t), WeatherRecord *record)
{
    if (path == NULL)
        return -1;
    char *bytes;
    int32_t length;
    if (!read_file(path, &bytes, &length)) {
        fprintf(stderr, "velvane-scrape: cannot read %s\n", path);
        return -2;
    }
    int result = parse(record, bytes, length);
    mem_free(bytes);
    return result;
}

// The parts --open-data fills, for parse_open_data_parts.
int open_data_parts;

int parse_open_data_parts(WeatherRecord *record, const char *bytes, int32_t length)
{
    return parse_open_data_into(record, bytes, length, open_data_parts, NULL);
}

void print_text(const char *name, const char *text)
{
    printf("%s=", name);
    print_quoted(stdout, text);
    putchar('\n');
}

void print_comment(const char *name, const CommentSlot *slot)
{
    const char *text = weather_comment(slot);
    if (text == NULL)
        printf("%s=null\n", name);
    else
        print_text(name, text);
}

// A wind direction is at most 15 bytes and its zero byte; print no more
// even if the buffer were full.
void print_direction(const char *name, const char *direction)
{
    char text[WIND_DIRECTION_SIZE];
    memcpy(text, direction, WIND_DIRECTION_MAX);
    text[WIND_DIRECTION_MAX] = 0;
    print_text(name, text);
}

void print_record(const WeatherRecord *r)
{
    printf("temperature=%d\n", (int)r->temperature);
    printf("pressure=%d\n", (int)r->pressure);
    printf("humidity=%d\n", (int)r->humidity);
    printf("precip_6h=%d\n", (int)r->precip_6h);
    printf("precip_12h=%d\n", (int)r->precip_12h);
    printf("precip_24h=%d\n", (int)r->precip_24h);
    print_direction("wind_direction", r->wind_direction);
    printf("wind_speed=%d\n", (int)r->wind_speed);
    printf("condition=%d\n", (int)r->condition);
    print_comment("comment", &r->comment);
    for (int i = 0; i < FORECAST_DAYS; i++) {
        const ForecastDay *d = &r->days[i];
        char name[32];
        printf("day%d.date=%.3f\n", i, d->date);
        printf("day%d.day_temperature=%d\n", i, (int)d->day_temperature);
        printf("day%d.night_temperature=%d\n", i, (int)d->night_temperature);
        printf("day%d.precip=%d\n", i, (int)d->precip);
        printf("day%d.precip_probability=%d\n", i, (int)d->precip_probability);
        snprintf(name, sizeof name, "day%d.wind_direction", i);
        print_direction(name, d->wind_direction);
        printf("day%d.wind_speed=%d\n", i, (int)d->wind_speed);
        printf("day%d.condition=%d\n", i, (int)d->condition);
        snprintf(name, sizeof name, "day%d.comment", i);
        print_comment(name, &d->comment);
    }
}

void print_figure(int32_t value, int32_t none, const char *separator)
{
    if (value == none)
        printf("-%s", separator);
    else
        printf("%d%s", (int)value, separator);
}

void print_hours(const WeatherRecord *r)
{
    for (int i = 0; i < FORECAST_DAYS; i++) {
        const DayHours *hours = &r->days[i].hours;
        if (!hours->has_any)
            continue;
        for (int s = 0; s < HOUR_STEPS; s++) {
            const HourStep *step = &hours->steps[s];
            printf("day%d.step%02d=", i, s * HOURS_PER_STEP);
            print_figure(step->temperature, NO_TEMPERATURE, " ");
            print_figure(step->condition, 0, " ");
            print_figure(step->precipitation_tenths, NO_VALUE, "\n");
        }
    }
}

// The places of a saved search answer, one line each; 1 when it cannot be
// read.
int print_places(const char *path)
{
    char *bytes;
    int32_t length;
    if (!read_file(path, &bytes, &length))
        return 1;
    FoundPlace places[FOUND_PLACES_MAX];
    int32_t count = parse_found_places(bytes, length, places, FOUND_PLACES_MAX);
    mem_free(bytes);
    for (int32_t i = 0; i < count; i++) {
        const FoundPlace *place = &places[i];
        printf("%s\t%s\t%s\t", place->name, place->region, place->country);
        print_degrees(stdout, place->latitude_e4);
        putchar('\t');
        print_degrees(stdout, place->longitude_e4);
        if (place->population >= 0)
            printf("\t%d\t", (int)place->population);
        else
            printf("\t\t");
        char *catalogue_path = found_place_catalogue_path(place);
        printf("%s\n", catalogue_path != NULL ? catalogue_path : "-");
        mem_free(catalogue_path);
    }
    return count < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    int parsed = parse_options(argc, argv, &options);
    if (parsed < 0)
        return 0;
    if (parsed == 0) {
        usage(stderr);
        return 2;
    }
    if (options.places != NULL)
        return print_places(options.places);
    if (options.now != NULL) {
        if (!parse_now(options.now, &fixed_now)) {
            fprintf(stderr, "velvane-scrape: --now wants YYYY-MM-DDTHH:MM:SS, not %s\n", options.now);
            return 2;
        }
        set_clock_source(fixed_clock);
    }

    double blocks_day = 0;
    if (options.blocks != NULL && strcmp(options.blocks, "today") == 0) {
        blocks_day = today_day_number();
    } else if (options.blocks != NULL && strcmp(options.blocks, "tomorrow") == 0) {
        blocks_day = today_day_number() + 1.0;
    } else if (options.blocks != NULL) {
        char *end = NULL;
        blocks_day = strtod(options.blocks, &end);
        if (end == options.blocks || *end != 0 || !isfinite(blocks_day)) {
            fprintf(stderr, "velvane-scrape: --blocks wants a day number, not %s\n", options.blocks);
            return 2;
        }
    }

    WeatherRecord *record = weather_record_create();
    if (record == NULL) {
        fputs("velvane-scrape: out of memory\n", stderr);
        return 1;
    }
    weather_record_reset(record);
    int actual = parse_file(options.actual, parse_actual_page_into, record);
    int forecast = parse_file(options.forecast, parse_forecast_page_into, record);
    int pages = options.actual != NULL || options.forecast != NULL;
    int open_data = -1;
    if (options.open_data != NULL) {
        open_data_parts = pages ? open_data_parts_wanted(DATA_SOURCE_PAGES_THEN_OPEN_DATA, actual == 1, forecast == 1)
                                : WEATHER_PARTS_ALL;
        if (open_data_parts != 0)
            open_data = parse_file(options.open_data, parse_open_data_parts, record);
    }
    if (actual == -2 || forecast == -2 || open_data == -2) {
        weather_record_destroy(record);
        return 2;
    }
    if (pages || options.open_data == NULL) {
        printf("actual_result=%d\n", actual);
        printf("forecast_result=%d\n", forecast);
    }
    if (options.open_data != NULL)
        printf("open_data_result=%d\n", open_data);
    print_record(record);
    if (options.blocks != NULL) {
        char *actual_block = compose_actual_block(record);
        char *forecast_block = compose_forecast_block(record, blocks_day);
        print_text("actual_block", actual_block != NULL ? actual_block : "");
        print_text("forecast_block", forecast_block != NULL ? forecast_block : "");
        mem_free(actual_block);
        mem_free(forecast_block);
    }
    if (options.hours)
        print_hours(record);
    weather_record_destroy(record);
    return 0;
}

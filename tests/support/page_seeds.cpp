// The seeds: each page in a form that takes the parser down another road.
#include "tests/support/page_seeds.h"

#include <string.h>
#include <string>

#include "tests/support/page_builder.h"
#include "util/mem.h"

namespace {

struct Emit {
    SeedSink sink;
    void *context;
    void operator()(const char *target, const char *name, char *page, int32_t length) const
    {
        sink(target, name, page != NULL ? page : "", length, context);
        mem_free(page);
    }
};

// Built before it is handed on: the length is known only then.
void emit_forecast(const Emit &emit, const char *name, const ForecastPageSpec *spec)
{
    int32_t length;
    char *page = page_build_forecast(spec, &length);
    emit("fuzz_forecast_parser", name, page, length);
}

void emit_actual(const Emit &emit, const char *name, const ActualPageSpec *spec)
{
    int32_t length;
    char *page = page_build_actual(spec, &length);
    emit("fuzz_actual_parser", name, page, length);
}

void forecast_seeds(const Emit &emit)
{
    const char *T = "fuzz_forecast_parser";
    ForecastPageSpec spec;
    int32_t length;

    page_forecast_defaults(&spec);
    char *whole = page_build_forecast(&spec, &length);
    int32_t whole_length = length;
    emit(T, "whole", page_copy(whole, whole_length), whole_length);
    emit(T, "cut-in-half", page_cut(whole, whole_length, whole_length / 2), whole_length / 2);
    int32_t cut_length;
    char *cut = page_cut_after(whole, whole_length, "</td>", 30, &cut_length);
    emit(T, "ends-on-marker", cut, cut_length < 0 ? 0 : cut_length);
    mem_free(whole);

    spec.with_headers = 0;
    spec.bare = 1;
    emit_forecast(emit, "bare", &spec);

    static const char *const ROW_NAMES[FORECAST_ROW_COUNT] = {
        "no-temperature", "no-condition", "no-comment", "no-precip",
        "no-probability", "no-direction", "no-wind-speed",
    };
    for (int row = 0; row < FORECAST_ROW_COUNT; row++) {
        page_forecast_defaults(&spec);
        spec.rows[row].omit = 1;
        emit_forecast(emit, ROW_NAMES[row], &spec);
    }

    page_forecast_defaults(&spec);
    static const ForecastRow SWAPPED[] = {
        FORECAST_ROW_TEMPERATURE, FORECAST_ROW_CONDITION, FORECAST_ROW_COMMENT,
        FORECAST_ROW_PROBABILITY, FORECAST_ROW_PRECIP, FORECAST_ROW_DIRECTION, FORECAST_ROW_WIND_SPEED,
    };
    spec.order = SWAPPED;
    spec.order_count = 7;
    emit_forecast(emit, "out-of-order", &spec);

    page_forecast_defaults(&spec);
    spec.date_headings[0] = NULL;
    spec.rows[FORECAST_ROW_DIRECTION].drop_cells = 2;
    spec.rows[FORECAST_ROW_COMMENT].open_cells = 1;
    emit_forecast(emit, "short-rows", &spec);

    page_forecast_defaults(&spec);
    std::string long_comment;
    for (int i = 0; i < 60; i++)
        long_comment += "Снег, метель, ";
    spec.days[0].comment = long_comment.c_str();
    spec.days[1].wind_direction = "Северо-северо-западный";
    spec.date_heading_open = 1;
    emit_forecast(emit, "long-cyrillic", &spec);

    const char error_page[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found";
    emit(T, "error-page", page_copy(error_page, (int32_t)strlen(error_page)), (int32_t)strlen(error_page));
}

void actual_seeds(const Emit &emit)
{
    const char *T = "fuzz_actual_parser";
    ActualPageSpec spec;
    int32_t length;

    page_actual_defaults(&spec);
    char *whole = page_build_actual(&spec, &length);
    int32_t whole_length = length;
    emit(T, "whole", page_copy(whole, whole_length), whole_length);
    emit(T, "cut-in-half", page_cut(whole, whole_length, whole_length / 2), whole_length / 2);
    int32_t cut_length;
    char *cut = page_cut_after(whole, whole_length, "Комментарий к погоде", 1, &cut_length);
    emit(T, "ends-on-marker", cut, cut_length < 0 ? 0 : cut_length);
    mem_free(whole);

    page_actual_defaults(&spec);
    spec.no_data = NO_DATA_AFTER_ROWS;
    emit_actual(emit, "no-data", &spec);

    page_actual_defaults(&spec);
    static const ActualRow MINIMAL[] = {ACTUAL_ROW_TEMPERATURE, ACTUAL_ROW_WIND_SPEED, ACTUAL_ROW_PRECIP_24H};
    spec.order = MINIMAL;
    spec.order_count = 3;
    emit_actual(emit, "minimal", &spec);

    page_actual_defaults(&spec);
    static const ActualRow PRESSURE_LATE[] = {ACTUAL_ROW_TEMPERATURE, ACTUAL_ROW_PRESSURE, ACTUAL_ROW_HUMIDITY};
    spec.order = PRESSURE_LATE;
    spec.order_count = 3;
    emit_actual(emit, "out-of-order", &spec);

    page_actual_defaults(&spec);
    spec.rows[ACTUAL_ROW_DIRECTION].open_cells = 1;
    spec.rows[ACTUAL_ROW_HUMIDITY].drop_cells = 1;
    spec.comment = "";
    emit_actual(emit, "broken-cells", &spec);

    page_actual_defaults(&spec);
    spec.with_headers = 0;
    spec.bare = 1;
    spec.wind_direction = "--СССССССС";
    emit_actual(emit, "bare", &spec);
}

void find_marker_seeds(const Emit &emit)
{
    const char *T = "fuzz_find_marker";
    static const struct {
        const char *name;
        const char *marker;
        const char *buffer;
    } SEEDS[] = {
        {"found", "pogodacell>", "<td class=pogodacell>-12</td>"},
        {"ends-on-last-byte", "</nobr>", "<nobr>5 января</nobr>"},
        {"cyrillic", "Температура воздуха", "<td>Температура воздуха</td>"},
        {"empty-marker", "", "abc"},
        {"longer-than-buffer", "Фактические данные на этот срок отсутствуют", "Фактические"},
    };
    for (const auto &seed : SEEDS) {
        std::string input(1, (char)strlen(seed.marker));
        input += seed.marker;
        input += seed.buffer;
        emit(T, seed.name, page_copy(input.data(), (int32_t)input.size()), (int32_t)input.size());
    }
}

} // namespace

void page_seeds_each(SeedSink sink, void *context)
{
    Emit emit = {sink, context};
    forecast_seeds(emit);
    actual_seeds(emit);
    find_marker_seeds(emit);
}

// The actual-weather page's walk and its picture table.
#include <doctest/doctest.h>

#include <string.h>
#include <string>

#include "fetch/actual_parser.h"
#include "tests/support/page_builder.h"
#include "util/mem.h"

namespace {

struct Record {
    WeatherRecord *record = weather_record_create();
    ~Record() { weather_record_destroy(record); }
    WeatherRecord *operator->() { return record; }
};

struct Page {
    char *bytes = NULL;
    int32_t length = 0;
    explicit Page(const ActualPageSpec &spec) { bytes = page_build_actual(&spec, &length); }
    explicit Page(const std::string &text)
        : bytes(page_copy(text.data(), (int32_t)text.size())), length((int32_t)text.size()) {}
    ~Page() { mem_free(bytes); }
    Page(const Page &) = delete;
    Page &operator=(const Page &) = delete;
};

std::string comment_of(const WeatherRecord *record)
{
    const char *text = weather_comment(&record->comment);
    return text != NULL ? text : "(null)";
}

bool is_reset(const WeatherRecord *r)
{
    return r->temperature == 100 && r->pressure == -1 && r->humidity == -1 && r->precip_6h == -1 &&
           r->precip_12h == -1 && r->precip_24h == -1 && r->wind_direction[0] == 0 &&
           r->wind_speed == -1 && r->condition == 0 && weather_comment(&r->comment) == nullptr;
}

int parse(Record &r, const ActualPageSpec &spec)
{
    Page page(spec);
    return parse_actual_page_into(r.record, page.bytes, page.length);
}

} // namespace

TEST_CASE("a whole page fills the observation")
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    Record r;
    REQUIRE(parse(r, spec) == 1);
    CHECK(r->pressure == 745);
    CHECK(r->temperature == -12);
    CHECK(r->humidity == 85);
    CHECK(r->condition == 6);  // picture 41
    CHECK(comment_of(r.record) == spec.comment);
    CHECK(std::string(r->wind_direction) == "Северо-з");  // 15 of its 29 bytes
    CHECK(r->wind_speed == 3);
    CHECK(r->precip_6h == 0);
    CHECK(r->precip_12h == 1);
    CHECK(r->precip_24h == 2);
    // The forecast is the other parser's: untouched.
    for (int i = 0; i < FORECAST_DAYS; i++) {
        CHECK(r->days[i].date == 0.0);
        CHECK(r->days[i].day_temperature == 100);
    }
}

TEST_CASE("the process-wide record is the one filled, and none means no walk")
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    Page page(spec);
    WeatherRecord *saved = weather_record;
    weather_record = NULL;
    CHECK(parse_actual_page(page.bytes, page.length) == 0);
    Record r;
    weather_record = r.record;
    CHECK(parse_actual_page(page.bytes, page.length) == 1);
    CHECK(r->temperature == -12);
    weather_record = saved;
}

TEST_CASE("the no-data sentence anywhere leaves the record as reset")
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    SUBCASE("before the rows") { spec.no_data = NO_DATA_BEFORE_ROWS; }
    SUBCASE("after every value") { spec.no_data = NO_DATA_AFTER_ROWS; }
    Record r;
    CHECK(parse(r, spec) == 0);
    CHECK(is_reset(r.record));
}

TEST_CASE("only the temperature row is required")
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    Record r;
    SUBCASE("temperature, wind speed and the 24-hour total alone") {
        const ActualRow order[] = {ACTUAL_ROW_TEMPERATURE, ACTUAL_ROW_WIND_SPEED, ACTUAL_ROW_PRECIP_24H};
        spec.order = order;
        spec.order_count = 3;
        spec.temperature = 7;
        spec.wind_speed = 12;
        spec.precip_24h = 4;
        CHECK(parse(r, spec) == 1);
        CHECK(r->temperature == 7);
        CHECK(r->wind_speed == 12);
        CHECK(r->precip_24h == 4);
        CHECK(r->pressure == -1);
        CHECK(r->humidity == -1);
        CHECK(r->precip_6h == -1);
        CHECK(r->precip_12h == -1);
        CHECK(r->wind_direction[0] == 0);
        CHECK(weather_comment(&r->comment) == nullptr);
        CHECK(r->condition == 0);
    }
    SUBCASE("no temperature row: the walk stops after the pressure") {
        spec.rows[ACTUAL_ROW_TEMPERATURE].omit = 1;
        CHECK(parse(r, spec) == 0);
        CHECK(r->pressure == 745);
        r->pressure = -1;
        CHECK(is_reset(r.record));
    }
    SUBCASE("a temperature label without its bold cell stops the walk") {
        spec.rows[ACTUAL_ROW_TEMPERATURE].drop_cells = 1;
        spec.rows[ACTUAL_ROW_PRESSURE].omit = 1;
        CHECK(parse(r, spec) == 0);
        CHECK(is_reset(r.record));
    }
}

TEST_CASE("rows out of order")
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    Record r;
    SUBCASE("the pressure after the temperature: pressure stored, then the walk stops") {
        const ActualRow order[] = {ACTUAL_ROW_TEMPERATURE, ACTUAL_ROW_PRESSURE, ACTUAL_ROW_HUMIDITY};
        spec.order = order;
        spec.order_count = 3;
        CHECK(parse(r, spec) == 0);
        CHECK(r->pressure == 745);
        CHECK(r->temperature == 100);
        CHECK(r->humidity == -1);
    }
    SUBCASE("an optional row before the cursor counts as missing") {
        const ActualRow order[] = {
            ACTUAL_ROW_PRESSURE, ACTUAL_ROW_TEMPERATURE, ACTUAL_ROW_PRECIP_24H, ACTUAL_ROW_HUMIDITY,
            ACTUAL_ROW_CONDITION, ACTUAL_ROW_WIND_SPEED, ACTUAL_ROW_PRECIP_6H,
        };
        spec.order = order;
        spec.order_count = 7;
        CHECK(parse(r, spec) == 1);
        CHECK(r->humidity == 85);
        CHECK(r->condition == 6);
        CHECK(r->wind_speed == 3);
        CHECK(r->precip_6h == 0);
        CHECK(r->precip_24h == -1);
    }
}

TEST_CASE("text rows: once the label is found, its cell must follow and close")
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    Record r;
    SUBCASE("an empty comment is an empty text, not none") {
        spec.comment = "";
        CHECK(parse(r, spec) == 1);
        REQUIRE(weather_comment(&r->comment) != nullptr);
        CHECK(comment_of(r.record) == "");
    }
    SUBCASE("a long Cyrillic comment is kept whole") {
        std::string text;
        for (int i = 0; i < 300; i++)
            text += "Переменная облачность, ";
        spec.comment = text.c_str();
        CHECK(parse(r, spec) == 1);
        CHECK(comment_of(r.record) == text);
    }
    SUBCASE("a comment cell never closed stops the walk with no comment") {
        spec.rows[ACTUAL_ROW_COMMENT].open_cells = 1;
        spec.rows[ACTUAL_ROW_DIRECTION].omit = 1;
        spec.order = NULL;
        spec.epilogue = NULL;
        // Nothing after the comment holds "</td>": leave every later row out.
        for (int row = ACTUAL_ROW_DIRECTION; row < ACTUAL_ROW_COUNT; row++)
            spec.rows[row].omit = 1;
        spec.bare = 1;
        CHECK(parse(r, spec) == 0);
        CHECK(weather_comment(&r->comment) == nullptr);
        CHECK(r->condition == 6);
        CHECK(r->wind_speed == -1);
    }
    SUBCASE("a wind-direction label with no cell after it stops the walk") {
        for (int row = ACTUAL_ROW_WIND_SPEED; row < ACTUAL_ROW_COUNT; row++)
            spec.rows[row].omit = 1;
        spec.rows[ACTUAL_ROW_DIRECTION].drop_cells = 1;
        CHECK(parse(r, spec) == 0);
        CHECK(comment_of(r.record) == spec.comment);
        CHECK(r->wind_direction[0] == 0);
        CHECK(r->wind_speed == -1);
    }
    SUBCASE("wind directions of 15 and 16 bytes") {
        spec.wind_direction = "123456789012345";
        CHECK(parse(r, spec) == 1);
        CHECK(std::string(r->wind_direction) == "123456789012345");
        Record s;
        spec.wind_direction = "1234567890123456";
        CHECK(parse(s, spec) == 1);
        CHECK(std::string(s->wind_direction) == "123456789012345");
        Record t;
        spec.wind_direction = "--СССССССС";
        CHECK(parse(t, spec) == 1);
        CHECK(std::string(t->wind_direction) == "--СССССС\xD0");
    }
}

TEST_CASE("numbers as the page writes them")
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    spec.rows[ACTUAL_ROW_PRESSURE].raw[0] = "—";
    spec.rows[ACTUAL_ROW_HUMIDITY].raw[0] = " +64 %";
    spec.rows[ACTUAL_ROW_WIND_SPEED].raw[0] = "штиль";
    spec.rows[ACTUAL_ROW_PRECIP_12H].raw[0] = "99999999999";
    spec.rows[ACTUAL_ROW_PRECIP_24H].raw[0] = "-2147483648";
    Record r;
    REQUIRE(parse(r, spec) == 1);
    CHECK(r->pressure == 0);
    CHECK(r->humidity == 64);
    CHECK(r->wind_speed == 0);
    CHECK(r->precip_12h == 2147483647);
    CHECK(r->precip_24h == -2147483647 - 1);

    Page bold(std::string("pogodacell2>Температура воздуха</td><td class=pogodacell><b>-12</b>..."));
    Record s;
    CHECK(parse_actual_page_into(s.record, bold.bytes, bold.length) == 1);
    CHECK(s->temperature == -12);
}

TEST_CASE("a label without its value cell leaves the field and moves on")
{
    // The pressure label with no cell anywhere behind it, then the walk
    // finds no temperature: the pressure stays at its no-value mark.
    Page page(std::string("Атмосферное давление: none ........"));
    Record r;
    CHECK(parse_actual_page_into(r.record, page.bytes, page.length) == 0);
    CHECK(r->pressure == -1);
}

TEST_CASE("the actual-weather picture table")
{
    const struct {
        int picture;
        int code;
    } samples[] = {
        {1, 5}, {5, 5}, {6, 17}, {10, 17}, {11, 5}, {13, 18}, {16, 15}, {17, 18}, {21, 11}, {24, 3},
        {25, 1}, {28, 6}, {29, 17}, {38, 17}, {39, 7}, {40, 7}, {41, 6}, {49, 6}, {50, 10}, {54, 9},
        {60, 11}, {63, 11}, {64, 1}, {66, 10}, {70, 12}, {73, 12}, {74, 2}, {78, 2}, {84, 4}, {86, 4},
        {88, 15}, {91, 18}, {92, 19}, {94, 8}, {96, 19}, {98, 8},
        {0, 0}, {99, 0}, {-1, 0}, {100, 0}, {256 + 41, 0},
    };
    for (const auto &s : samples) {
        CAPTURE(s.picture);
        CHECK(actual_condition_code(s.picture) == s.code);
    }
    // Every picture 1..98 has a code; 13 and 16 never come from this page.
    for (int n = 1; n <= 98; n++) {
        CAPTURE(n);
        int code = actual_condition_code(n);
        CHECK(code >= 1);
        CHECK(code <= 19);
        CHECK(code != 13);
        CHECK(code != 16);
    }

    ActualPageSpec spec;
    page_actual_defaults(&spec);
    spec.picture = 92;
    Record r;
    CHECK(parse(r, spec) == 1);
    CHECK(r->condition == 19);
}

TEST_CASE("a page cut at any byte is read only up to its end")
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    int32_t length = 0;
    char *whole = page_build_actual(&spec, &length);
    REQUIRE(whole != nullptr);
    // Cuts inside the comment or wind-direction rows end the walk (a label
    // without its closed cell), so success is not steady; the first one
    // comes with the temperature.
    int32_t temperature_cell = -1;
    int last_result = 0;
    for (int32_t cut = 0; cut <= length; cut++) {
        char *bytes = page_cut(whole, length, cut);
        Record r;
        last_result = parse_actual_page_into(r.record, bytes, cut);
        mem_free(bytes);
        if (last_result == 1 && temperature_cell < 0)
            temperature_cell = cut;
    }
    CHECK(last_result == 1);
    // The first page read whole ends one byte past "pogodacell><b>".
    REQUIRE(temperature_cell > 15);
    CHECK(std::string(whole + temperature_cell - 15, 14) == "pogodacell><b>");
    mem_free(whole);
}

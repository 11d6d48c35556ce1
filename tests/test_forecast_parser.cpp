// The forecast page's walk, its date heading and its picture table.
#include <doctest/doctest.h>

#include <string.h>
#include <string>

#include "fetch/forecast_parser.h"
#include "fetch/page_scan.h"
#include "tests/support/page_builder.h"
#include "tests/support/page_clock.h"
#include "util/mem.h"

namespace {

struct Record {
    WeatherRecord *record = weather_record_create();
    ~Record() { weather_record_destroy(record); }
    ForecastDay &day(int i) { return record->days[i]; }
};

struct Page {
    char *bytes = NULL;
    int32_t length = 0;
    Page() {}
    explicit Page(const ForecastPageSpec &spec) { bytes = page_build_forecast(&spec, &length); }
    Page(const char *text, int32_t n) : bytes(page_copy(text, n)), length(n) {}
    explicit Page(const std::string &text) : Page(text.data(), (int32_t)text.size()) {}
    ~Page() { mem_free(bytes); }
    Page(const Page &) = delete;
    Page &operator=(const Page &) = delete;
};

// Present moment for every case: 5 January 2026, 09:00 local time.
struct Clock {
    Clock() { page_clock_set_local(2026, 1, 5, 9, 0, 0); }
    ~Clock() { page_clock_release(); }
};

const double JAN_5 = 9501.0;  // day number of noon, 5 January 2026

std::string comment_of(const ForecastDay &day)
{
    const char *text = weather_comment(&day.comment);
    return text != NULL ? text : "(null)";
}

void check_reset_day(const ForecastDay &day)
{
    CHECK(day.day_temperature == 100);
    CHECK(day.night_temperature == 100);
    CHECK(day.precip == 0);
    CHECK(day.precip_probability == 0);
    CHECK(day.wind_direction[0] == 0);
    CHECK(day.wind_speed == 0);
    CHECK(day.condition == 0);
    CHECK(weather_comment(&day.comment) == nullptr);
}

// What each row of the default week puts into day i.
bool row_filled(const ForecastDay &day, ForecastRow row, const ForecastDaySpec &want)
{
    switch (row) {
    case FORECAST_ROW_TEMPERATURE:
        return day.night_temperature == want.night_temperature && day.day_temperature == want.day_temperature;
    case FORECAST_ROW_CONDITION:
        return day.condition == want.picture;
    case FORECAST_ROW_COMMENT:
        return comment_of(day) == want.comment;
    case FORECAST_ROW_PRECIP:
        return day.precip == want.precip;
    case FORECAST_ROW_PROBABILITY:
        return day.precip_probability == want.precip_probability;
    case FORECAST_ROW_DIRECTION:
        return strcmp(day.wind_direction, want.wind_direction) == 0;
    case FORECAST_ROW_WIND_SPEED:
        return day.wind_speed == want.wind_speed;
    default:
        return false;
    }
}

bool row_reset(const ForecastDay &day, ForecastRow row)
{
    switch (row) {
    case FORECAST_ROW_TEMPERATURE:
        return day.night_temperature == 100 && day.day_temperature == 100;
    case FORECAST_ROW_CONDITION:
        return day.condition == 0;
    case FORECAST_ROW_COMMENT:
        return weather_comment(&day.comment) == nullptr;
    case FORECAST_ROW_PRECIP:
        return day.precip == 0;
    case FORECAST_ROW_PROBABILITY:
        return day.precip_probability == 0;
    case FORECAST_ROW_DIRECTION:
        return day.wind_direction[0] == 0;
    case FORECAST_ROW_WIND_SPEED:
        return day.wind_speed == 0;
    default:
        return false;
    }
}

std::string heading_page(const std::string &heading)
{
    return "<td><nobr>" + heading + "</nobr></td> rest of the page";
}

double date_of_heading(const std::string &heading)
{
    Record r;
    Page page(heading_page(heading));
    parse_forecast_page_into(r.record, page.bytes, page.length);
    return r.day(0).date;
}

} // namespace

TEST_CASE("a whole page fills all seven days")
{
    Clock clock;
    ForecastPageSpec spec;
    page_forecast_defaults(&spec);
    Page page(spec);
    Record r;
    REQUIRE(parse_forecast_page_into(r.record, page.bytes, page.length) == 1);
    for (int i = 0; i < FORECAST_DAYS; i++) {
        CAPTURE(i);
        CHECK(r.day(i).date == JAN_5 + i);
        for (int row = 0; row < FORECAST_ROW_COUNT; row++) {
            CAPTURE(row);
            CHECK(row_filled(r.day(i), (ForecastRow)row, spec.days[i]));
        }
    }
    // The observation is the other parser's: untouched.
    CHECK(r.record->temperature == 100);
    // Parsing the page again replaces the seven comments; the old ones go.
    int32_t blocks = mem_live_blocks();
    CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 1);
    CHECK(mem_live_blocks() == blocks);
    weather_record_reset(r.record);
    CHECK(mem_live_blocks() == blocks - 7);
    CHECK(r.record->pressure == -1);
    CHECK(weather_comment(&r.record->comment) == nullptr);
}

TEST_CASE("the process-wide record is the one filled, and none means no walk")
{
    Clock clock;
    ForecastPageSpec spec;
    page_forecast_defaults(&spec);
    Page page(spec);
    WeatherRecord *saved = weather_record;
    weather_record = NULL;
    CHECK(parse_forecast_page(page.bytes, page.length) == 0);
    Record r;
    weather_record = r.record;
    CHECK(parse_forecast_page(page.bytes, page.length) == 1);
    CHECK(r.day(6).wind_speed == spec.days[6].wind_speed);
    weather_record = saved;
}

TEST_CASE("a page without rows still dates its days")
{
    Clock clock;
    Record r;
    SUBCASE("an error page: dates 0 and 1 to 6") {
        Page page(std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
        CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 0);
        for (int i = 0; i < FORECAST_DAYS; i++)
            CHECK(r.day(i).date == (double)i);
    }
    SUBCASE("an empty page") {
        CHECK(parse_forecast_page_into(r.record, NULL, 0) == 0);
        CHECK(r.day(6).date == 6.0);
    }
    SUBCASE("a heading and nothing else") {
        Page page(heading_page("5 января"));
        CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 0);
        CHECK(r.day(0).date == JAN_5);
        CHECK(r.day(6).date == JAN_5 + 6);
    }
    for (int i = 0; i < FORECAST_DAYS; i++)
        check_reset_day(r.day(i));
}

TEST_CASE("the date heading")
{
    Clock clock;
    ForecastPageSpec spec;
    page_forecast_defaults(&spec);

    SUBCASE("no <nobr> at all: the walk goes on from the page's start") {
        spec.date_headings[0] = NULL;
        Page page(spec);
        Record r;
        CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 1);
        CHECK(r.day(0).date == 0.0);
        CHECK(r.day(3).date == 3.0);
        CHECK(r.day(3).day_temperature == spec.days[3].day_temperature);
    }
    SUBCASE("a <nobr> never closed gives no date, the rows are still read") {
        spec.date_heading_open = 1;
        for (int i = 1; i < PAGE_DAYS; i++)
            spec.date_headings[i] = NULL;
        Page page(spec);
        Record r;
        CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 1);
        CHECK(r.day(0).date == 0.0);
        CHECK(r.day(6).date == 6.0);
        CHECK(r.day(6).wind_speed == spec.days[6].wind_speed);
    }
    SUBCASE("99 bytes to </nobr> are read, 100 are not") {
        // Leading zeros keep the heading a valid date of any length.
        std::string tail = "5 января";
        std::string at99 = std::string(99 - tail.size(), '0') + tail;
        std::string at100 = "0" + at99;
        REQUIRE(at99.size() == 99);
        CHECK(date_of_heading(at99) == JAN_5);
        CHECK(date_of_heading(at100) == 0.0);
    }
    SUBCASE("\"</nobr>\" ending on the page's last byte is not found") {
        Page whole(std::string("<nobr>5 января</nobr>"));
        Record r;
        parse_forecast_page_into(r.record, whole.bytes, whole.length);
        CHECK(r.day(0).date == 0.0);
        Page longer(std::string("<nobr>5 января</nobr>."));
        Record s;
        parse_forecast_page_into(s.record, longer.bytes, longer.length);
        CHECK(s.day(0).date == JAN_5);
    }
    SUBCASE("the cursor stays after <nobr>: a label inside the heading is found") {
        // The heading is unusable, but the temperature label behind "<nobr>"
        // is within reach of the walk.
        Page page(std::string("<nobr>Температура воздуха pogodacell>-3&nbsp; 4</nobr> ..."));
        Record r;
        CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 0);
        CHECK(r.day(0).date == 0.0);
        CHECK(r.day(0).night_temperature == -3);
        CHECK(r.day(0).day_temperature == 4);
    }
}

TEST_CASE("parse_forecast_date: the text's form")
{
    Clock clock;
    SUBCASE("the day is cut off the text") {
        char text[] = "5 января";
        CHECK(parse_forecast_date(text) == JAN_5);
        CHECK(std::string(text) == "5 ");
    }
    const char *const unusable[] = {
        "5января", "5 ", " 5 января", "5 января ", "5 январь", "5 Января", "5  января",
        "0 января", "32 января", "-5 января", "января", "", "5 январяx",
    };
    for (const char *heading : unusable) {
        CAPTURE(heading);
        std::string copy = heading;
        CHECK(parse_forecast_date(&copy[0]) == 0.0);
    }
    std::string padded = "+05 января";
    CHECK(parse_forecast_date(&padded[0]) == JAN_5);
    CHECK(parse_forecast_date(NULL) == 0.0);
}

TEST_CASE("parse_forecast_date: the year comes from the present moment")
{
    struct Case {
        int now[6];
        const char *heading;
        double want;
    };
    const Case cases[] = {
        // Across the turn of the year, both ways.
        {{2025, 12, 31, 10, 0, 0}, "2 января", 9498.0},
        {{2026, 1, 1, 10, 0, 0}, "30 декабря", 9495.0},
        {{2025, 12, 30, 23, 0, 0}, "1 января", 9497.0},
        // Within three days either way, measured from the very moment.
        {{2026, 1, 5, 12, 0, 0}, "8 января", 9504.0},
        {{2026, 1, 5, 11, 59, 59}, "8 января", 0.0},
        {{2026, 1, 5, 12, 0, 0}, "2 января", 9498.0},
        {{2026, 1, 5, 12, 0, 1}, "2 января", 0.0},
        {{2026, 1, 5, 9, 0, 0}, "9 января", 0.0},
        // A month name that is no month of the present week.
        {{2026, 1, 5, 9, 0, 0}, "6 февраля", 0.0},
        // Today's day of the month keeps today's month, whatever month is named.
        {{2026, 3, 5, 9, 0, 0}, "5 января", 9560.0},
        {{2011, 9, 5, 0, 0, 0}, "5 сентября", 4265.0},
    };
    for (const Case &c : cases) {
        CAPTURE(c.heading);
        CAPTURE(c.now[0]);
        CAPTURE(c.now[1]);
        CAPTURE(c.now[2]);
        CAPTURE(c.now[3]);
        page_clock_set_local(c.now[0], c.now[1], c.now[2], c.now[3], c.now[4], c.now[5]);
        std::string text = c.heading;
        CHECK(parse_forecast_date(&text[0]) == c.want);
    }
    page_clock_release();
}

TEST_CASE("every month name in its genitive form")
{
    const char *const months[] = {
        "января", "февраля", "марта", "апреля", "мая", "июня",
        "июля", "августа", "сентября", "октября", "ноября", "декабря",
    };
    for (int m = 1; m <= 12; m++) {
        CAPTURE(m);
        page_clock_set_local(2024, m, 14, 9, 0, 0);
        std::string text = std::string("15 ") + months[m - 1];
        CHECK(parse_forecast_date(&text[0]) == page_noon_day_number(2024, m, 15));
    }
    page_clock_release();
}

TEST_CASE("a missing row stops the walk and keeps what came before")
{
    Clock clock;
    for (int missing = 0; missing < FORECAST_ROW_COUNT; missing++) {
        CAPTURE(missing);
        ForecastPageSpec spec;
        page_forecast_defaults(&spec);
        spec.rows[missing].omit = 1;
        Page page(spec);
        Record r;
        CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 0);
        for (int i = 0; i < FORECAST_DAYS; i++) {
            CAPTURE(i);
            CHECK(r.day(i).date == JAN_5 + i);
            for (int row = 0; row < FORECAST_ROW_COUNT; row++) {
                CAPTURE(row);
                if (row < missing)
                    CHECK(row_filled(r.day(i), (ForecastRow)row, spec.days[i]));
                else
                    CHECK(row_reset(r.day(i), (ForecastRow)row));
            }
        }
    }
}

TEST_CASE("rows out of order: an earlier row is not found")
{
    Clock clock;
    ForecastPageSpec spec;
    page_forecast_defaults(&spec);
    const ForecastRow order[] = {
        FORECAST_ROW_TEMPERATURE, FORECAST_ROW_CONDITION, FORECAST_ROW_COMMENT,
        FORECAST_ROW_PROBABILITY, FORECAST_ROW_PRECIP, FORECAST_ROW_DIRECTION, FORECAST_ROW_WIND_SPEED,
    };
    spec.order = order;
    spec.order_count = 7;
    Page page(spec);
    Record r;
    CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 0);
    for (int i = 0; i < FORECAST_DAYS; i++) {
        CHECK(r.day(i).precip == spec.days[i].precip);
        CHECK(r.day(i).precip_probability == 0);
        CHECK(r.day(i).wind_direction[0] == 0);
    }
}

TEST_CASE("a row's cells are the first seven cell markers after its label")
{
    Clock clock;
    ForecastPageSpec spec;
    page_forecast_defaults(&spec);
    SUBCASE("a short wind-direction row takes the next row's first cell") {
        spec.rows[FORECAST_ROW_DIRECTION].drop_cells = 1;
        Page page(spec);
        Record r;
        CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 0);
        for (int i = 0; i < 6; i++)
            CHECK(std::string(r.day(i).wind_direction) == spec.days[i].wind_direction);
        CHECK(std::string(r.day(6).wind_direction) == std::to_string(spec.days[0].wind_speed));
        CHECK(r.day(0).wind_speed == 0);
    }
    SUBCASE("a row that breaks off part-way keeps its earlier days") {
        int32_t length = 0;
        char *whole = page_build_forecast(&spec, &length);
        // Cut inside the temperature row, right before day 4's cell.
        int32_t cut = page_offset_of(whole, length, "Температура воздуха", 1);
        REQUIRE(cut > 0);
        int32_t cell = page_offset_of(whole + cut, length - cut, "pogodacell>", 5);
        REQUIRE(cell > 0);
        Page page(whole, cut + cell);
        mem_free(whole);
        Record r;
        CHECK(parse_forecast_page_into(r.record, page.bytes, page.length) == 0);
        for (int i = 0; i < 4; i++)
            CHECK(row_filled(r.day(i), FORECAST_ROW_TEMPERATURE, spec.days[i]));
        for (int i = 4; i < FORECAST_DAYS; i++)
            CHECK(row_reset(r.day(i), FORECAST_ROW_TEMPERATURE));
    }
}

TEST_CASE("cells: numbers, long and Cyrillic texts, the wind direction's 15 bytes")
{
    Clock clock;
    ForecastPageSpec spec;
    page_forecast_defaults(&spec);
    std::string long_comment;
    for (int i = 0; i < 400; i++)
        long_comment += "Облачно, ";
    spec.days[0].comment = long_comment.c_str();
    spec.days[1].comment = "";
    spec.days[0].wind_direction = "Юго-западный";      // cut at byte 15 between letters
    spec.days[1].wind_direction = "--СССССССС";        // byte 15 is half a letter
    spec.days[2].wind_direction = "123456789012345";   // exactly 15 bytes
    spec.days[3].wind_direction = "1234567890123456";  // 16 bytes
    spec.days[4].wind_direction = "";
    spec.rows[FORECAST_ROW_TEMPERATURE].raw[0] = " \t+3&nbsp; -0";
    spec.rows[FORECAST_ROW_TEMPERATURE].raw[1] = "—&nbsp; ";
    spec.rows[FORECAST_ROW_PRECIP].raw[0] = "нет";
    spec.rows[FORECAST_ROW_PROBABILITY].raw[0] = "\n 55%";
    spec.rows[FORECAST_ROW_WIND_SPEED].raw[0] = "-";
    spec.rows[FORECAST_ROW_CONDITION].raw[0] = "61";
    spec.rows[FORECAST_ROW_CONDITION].raw[1] = "18";
    spec.rows[FORECAST_ROW_CONDITION].raw[2] = "17a";
    Page page(spec);
    Record r;
    REQUIRE(parse_forecast_page_into(r.record, page.bytes, page.length) == 1);

    CHECK(comment_of(r.day(0)) == long_comment);
    CHECK(weather_comment(&r.day(1).comment) != nullptr);
    CHECK(comment_of(r.day(1)) == "");
    CHECK(std::string(r.day(0).wind_direction) == "Юго-запа");
    CHECK(std::string(r.day(1).wind_direction) == "--СССССС\xD0");
    CHECK(std::string(r.day(2).wind_direction) == "123456789012345");
    CHECK(std::string(r.day(3).wind_direction) == "123456789012345");
    CHECK(r.day(4).wind_direction[0] == 0);
    CHECK(r.day(0).night_temperature == 3);
    CHECK(r.day(0).day_temperature == 0);
    CHECK(r.day(1).night_temperature == 0);
    CHECK(r.day(1).day_temperature == 0);
    CHECK(r.day(0).precip == 0);
    CHECK(r.day(0).precip_probability == 55);
    CHECK(r.day(0).wind_speed == 0);
    CHECK(r.day(0).condition == 6);
    CHECK(r.day(1).condition == 0);
    CHECK(r.day(2).condition == 17);
}

TEST_CASE("the forecast picture table")
{
    for (int n = 1; n <= 17; n++)
        CHECK(forecast_condition_code(n) == n);
    CHECK(forecast_condition_code(61) == 6);
    const int others[] = {0, -1, -6, 18, 19, 60, 62, 100, 161, 2147483647};
    for (int n : others) {
        CAPTURE(n);
        CHECK(forecast_condition_code(n) == 0);
    }
}

TEST_CASE("a page cut at any byte is read only up to its end")
{
    Clock clock;
    ForecastPageSpec spec;
    page_forecast_defaults(&spec);
    spec.days[2].comment = "Длинный комментарий: снег, метель, гололёд на дорогах";
    int32_t length = 0;
    char *whole = page_build_forecast(&spec, &length);
    REQUIRE(whole != nullptr);
    // Each cut is an exact-size block: a read past its end is caught.
    int32_t first_whole = -1;
    for (int32_t cut = 0; cut <= length; cut++) {
        Page page(whole, cut);
        Record r;
        int result = parse_forecast_page_into(r.record, page.bytes, page.length);
        if (result == 1 && first_whole < 0)
            first_whole = cut;
        if (first_whole >= 0 && result != 1) {
            FAIL("a longer page failed after a shorter one was read whole, at " << cut);
            break;
        }
    }
    // The walk ends on the last wind-speed cell's "</td>", which is found
    // only with one byte behind it.
    REQUIRE(first_whole > 6);
    CHECK(std::string(whole + first_whole - 6, 5) == "</td>");
    mem_free(whole);
}

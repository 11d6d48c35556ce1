// The simulator's service side without sockets (tools/sim): request heads,
// routes, the catalogue's locations, the pages as the real parsers read
// them, the weather's determinism and plausibility, and CONNECT.
#include <doctest/doctest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "fetch/actual_parser.h"
#include "fetch/forecast_parser.h"
#include "fetch/geocoding_parser.h"
#include "fetch/http_client.h"
#include "fetch/open_data_parser.h"
#include "fetch/weather_record.h"
#include "panel/day_number.h"
#include "panel/heads_up.h"
#include "settings/catalogue.h"
#include "tests/support/page_clock.h"
#include "tests/support/script_server.h"
#include "tools/sim/sim_open_data.h"
#include "tools/sim/sim_search.h"
#include "tools/sim/sim_service.h"
#include "tools/sim/sim_weather.h"
#include "util/mem.h"

namespace {

int parse(const std::string &head, SimRequest *request)
{
    // An exact-size copy, so that a read past the end is caught.
    char *bytes = (char *)mem_alloc((uint32_t)(head.size() > 0 ? head.size() : 1));
    REQUIRE(bytes != nullptr);
    memcpy(bytes, head.data(), head.size());
    int result = sim_parse_request(bytes, (int32_t)head.size(), request);
    mem_free(bytes);
    return result;
}

int parse(const std::string &head)
{
    SimRequest request;
    return parse(head, &request);
}

struct Response {
    int status = 0;
    std::string bytes;
    std::string body() const
    {
        size_t at = bytes.find("\r\n\r\n");
        return at == std::string::npos ? std::string() : bytes.substr(at + 4);
    }
    std::string head() const
    {
        size_t at = bytes.find("\r\n\r\n");
        return at == std::string::npos ? bytes : bytes.substr(0, at + 4);
    }
};

Response respond(const std::string &method, const std::string &target, uint32_t seed, int32_t today)
{
    SimRequest request;
    std::string head = method + " " + target + " HTTP/1.1\r\nHost: www.example\r\n\r\n";
    REQUIRE(parse(head, &request) == SIM_PARSE_OK);
    Response r;
    int32_t length = 0;
    char *bytes = sim_respond(&request, seed, today, &r.status, &length);
    REQUIRE(bytes != nullptr);
    r.bytes.assign(bytes, (size_t)length);
    mem_free(bytes);
    return r;
}

std::string actual_target(const std::string &location)
{
    return "/pogoda/" + location;
}

std::string forecast_target(const std::string &location)
{
    return "/forecasts5000/" + location + "/print";
}

std::string path_at(int32_t country, int32_t city)
{
    char *path = location_path_at(country, city);
    REQUIRE(path != nullptr);
    std::string text = path;
    mem_free(path);
    return text;
}

// Every distinct location path of the catalogue (Russia stands twice in the
// country list; Moscow and Saint Petersburg twice in Russia's table).
std::vector<std::string> all_locations()
{
    std::vector<std::string> paths;
    std::vector<const CityEntry *> seen_tables;
    for (int32_t c = 0; c < CATALOGUE_COUNTRY_COUNT; c++) {
        const CountryEntry *country = catalogue_country(c);
        bool seen = false;
        for (const CityEntry *table : seen_tables)
            seen = seen || table == country->cities;
        if (seen)
            continue;
        seen_tables.push_back(country->cities);
        for (int32_t i = 0; i < country->city_count; i++)
            paths.push_back(path_at(c, i));
    }
    return paths;
}

struct Record {
    WeatherRecord *record = weather_record_create();
    Record() { REQUIRE(record != nullptr); }
    ~Record() { weather_record_destroy(record); }
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;
};

std::string text_of(const CommentSlot *slot)
{
    const char *text = weather_comment(slot);
    return text != NULL ? text : "(null)";
}

// The day number of noon of a date (as the simulator's whole day numbers).
int32_t day_of(int year, int month, int day)
{
    return (int32_t)floor(page_noon_day_number(year, month, day) + 0.5);
}

// The present moment fixed to a local date for the parsers' date reading.
struct FixedNow {
    FixedNow(int year, int month, int day, int hour) { page_clock_set_local(year, month, day, hour, 0, 0); }
    ~FixedNow() { page_clock_release(); }
};

// Checks that the pages of a location for a day read back, through the
// real parsers, as exactly the simulator's weather. The clock must be set
// to the day.
void check_pages_read_back(const std::string &location, uint32_t seed, int32_t today)
{
    INFO("location " << location << ", seed " << seed << ", day " << today);
    Response actual = respond("GET", actual_target(location), seed, today);
    Response forecast = respond("GET", forecast_target(location), seed, today);
    REQUIRE(actual.status == 200);
    REQUIRE(forecast.status == 200);

    Record r;
    WeatherRecord *record = r.record;
    // The parsers read the whole response, as the client hands it on.
    REQUIRE(parse_actual_page_into(record, actual.bytes.data(), (int32_t)actual.bytes.size()) == 1);
    REQUIRE(parse_forecast_page_into(record, forecast.bytes.data(), (int32_t)forecast.bytes.size()) == 1);

    SimObservation now;
    sim_weather_observation(seed, location.c_str(), today, &now);
    CHECK(record->temperature == now.temperature);
    CHECK(record->pressure == now.pressure);
    CHECK(record->humidity == now.humidity);
    CHECK(record->precip_6h == now.precip_6h);
    CHECK(record->precip_12h == now.precip_12h);
    CHECK(record->precip_24h == now.precip_24h);
    CHECK(std::string(record->wind_direction) == now.wind_direction);
    CHECK(record->wind_speed == now.wind_speed);
    CHECK(record->condition == actual_condition_code(now.picture));
    CHECK(record->condition != 0);
    CHECK(text_of(&record->comment) == now.comment);
    // Every observation field has a value.
    CHECK(record->temperature != NO_TEMPERATURE);
    CHECK(record->pressure > 0);
    CHECK(record->humidity > 0);
    CHECK(record->precip_6h >= 0);
    CHECK(record->wind_direction[0] != 0);
    CHECK(record->wind_speed >= 0);

    for (int i = 0; i < FORECAST_DAYS; i++) {
        INFO("forecast day " << i);
        SimDay day;
        sim_weather_day(seed, location.c_str(), today + i, &day);
        const ForecastDay *d = &record->days[i];
        CHECK(d->date == doctest::Approx((double)(today + i)));
        CHECK(d->day_temperature == day.day_temperature);
        CHECK(d->night_temperature == day.night_temperature);
        CHECK(d->day_temperature != NO_TEMPERATURE);
        CHECK(d->night_temperature != NO_TEMPERATURE);
        CHECK(d->precip == day.precip);
        CHECK(d->precip_probability == day.precip_probability);
        CHECK(std::string(d->wind_direction) == day.wind_direction);
        CHECK(d->wind_direction[0] != 0);
        CHECK(d->wind_speed == day.wind_speed);
        CHECK(d->condition == forecast_condition_code(day.forecast_picture));
        CHECK(d->condition != 0);
        CHECK(text_of(&d->comment) == day.forecast_comment);
    }
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// ---- request heads ----

TEST_CASE("a head that has not ended yet is incomplete")
{
    CHECK(parse("") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("G") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("GET /pogoda/x HTTP/1.") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("GET / HTTP/1.1\r\n") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("GET / HTTP/1.1\r\nHost: a\r\n") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("GET / HTTP/1.1\r\nHost: a\r\n\r") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("\r\n\r\n\r\n") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("\r\n\r\nGET / HTTP/1.1\r\n") == SIM_PARSE_INCOMPLETE);
}

TEST_CASE("a whole head is read with its Host and Referer")
{
    SimRequest r;
    std::string head = "GET /pogoda/russia/moscow-area/moscow HTTP/1.1\r\nHost: www.example\r\n"
                       "User-Agent: test\r\nReferer: http://www.example/pogoda/x\r\n\r\n";
    REQUIRE(parse(head, &r) == SIM_PARSE_OK);
    CHECK(std::string(r.method) == "GET");
    CHECK(std::string(r.target) == "/pogoda/russia/moscow-area/moscow");
    CHECK(std::string(r.host) == "www.example");
    CHECK(std::string(r.referer) == "http://www.example/pogoda/x");
    CHECK(r.has_referer == 1);
    CHECK(r.head_length == (int32_t)head.size());

    // No Referer: none, and an HTTP/1.0 request line.
    REQUIRE(parse("HEAD / HTTP/1.0\r\n\r\n", &r) == SIM_PARSE_OK);
    CHECK(std::string(r.method) == "HEAD");
    CHECK(std::string(r.target) == "/");
    CHECK(r.host[0] == 0);
    CHECK(r.has_referer == 0);
    CHECK(r.head_length == 19);
}

TEST_CASE("what follows the head is not part of it")
{
    SimRequest r;
    std::string head = "CONNECT www.example:80 HTTP/1.0\r\nHOST: www.example:80 \r\n\r\n";
    std::string tunnel = "GET /pogoda/x HTTP/1.1\r\n\r\n";
    REQUIRE(parse(head + tunnel, &r) == SIM_PARSE_OK);
    CHECK(std::string(r.method) == "CONNECT");
    CHECK(std::string(r.target) == "www.example:80");
    CHECK(std::string(r.host) == "www.example:80");  // blanks around a value dropped
    CHECK(r.head_length == (int32_t)head.size());
}

TEST_CASE("bare line feeds and empty lines before the request line")
{
    SimRequest r;
    std::string head = "\r\n\nGET /a HTTP/1.1\nHost:b\n\n";
    REQUIRE(parse(head, &r) == SIM_PARSE_OK);
    CHECK(std::string(r.target) == "/a");
    CHECK(std::string(r.host) == "b");
    CHECK(r.head_length == (int32_t)head.size());
}

TEST_CASE("header names in any case")
{
    SimRequest r;
    REQUIRE(parse("GET / HTTP/1.1\r\nhOsT: one\r\nREFERER:\t two \t\r\n\r\n", &r) == SIM_PARSE_OK);
    CHECK(std::string(r.host) == "one");
    CHECK(std::string(r.referer) == "two");
    CHECK(r.has_referer == 1);
    REQUIRE(parse("GET / HTTP/1.1\r\nreferer: x\r\nhost: y\r\n\r\n", &r) == SIM_PARSE_OK);
    CHECK(std::string(r.host) == "y");
    CHECK(std::string(r.referer) == "x");
    // Names that only begin like them are other headers.
    REQUIRE(parse("GET / HTTP/1.1\r\nHosts: y\r\nReferers: x\r\n\r\n", &r) == SIM_PARSE_OK);
    CHECK(r.host[0] == 0);
    CHECK(r.has_referer == 0);
    // An empty Referer is still a Referer.
    REQUIRE(parse("GET / HTTP/1.1\r\nReferer:\r\n\r\n", &r) == SIM_PARSE_OK);
    CHECK(r.has_referer == 1);
    CHECK(r.referer[0] == 0);
}

TEST_CASE("absolute-form targets are kept as they stand")
{
    SimRequest r;
    REQUIRE(parse("GET http://www.example/forecasts5000/russia/moscow-area/moscow/print HTTP/1.1\r\n\r\n", &r) ==
            SIM_PARSE_OK);
    CHECK(std::string(r.target) == "http://www.example/forecasts5000/russia/moscow-area/moscow/print");
}

TEST_CASE("bad request lines and headers")
{
    const char *const BAD[] = {
        "garbage\r\n\r\n",
        "GET\r\n\r\n",
        "GET /\r\n\r\n",
        "GET / \r\n\r\n",
        "get / HTTP/1.1\r\n\r\n",
        "GET  / HTTP/1.1\r\n\r\n",
        "GET /  HTTP/1.1\r\n\r\n",
        "GET / HTTP/1.1 \r\n\r\n",
        "GET / HTTP/2.0\r\n\r\n",
        "GET / HTTP/1.2\r\n\r\n",
        "GET / http/1.1\r\n\r\n",
        "GET / HTTP/1.10\r\n\r\n",
        "GET /a\x01 HTTP/1.1\r\n\r\n",
        "GET /\xd0\x96 HTTP/1.1\r\n\r\n",
        "GET\t/ HTTP/1.1\r\n\r\n",
        "VERYLONGMETHODNAME / HTTP/1.1\r\n\r\n",
        "GET / HTTP/1.1\r\nNo colon here\r\n\r\n",
        "GET / HTTP/1.1\r\n: no name\r\n\r\n",
        "GET / HTTP/1.1\r\n folded: line\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: a\r\n\tcontinued\r\n\r\n",
        "GET / HTTP/1.1\r\nHost : a\r\n\r\n",
        "GET / HTTP/1.1\r\nHo\x7fst: a\r\n\r\n",
        " GET / HTTP/1.1\r\n\r\n",
    };
    for (const char *head : BAD) {
        INFO("head: " << head);
        CHECK(parse(head) == SIM_PARSE_BAD);
    }
    // The longest method and target that fit.
    CHECK(parse(std::string(SIM_METHOD_MAX, 'M') + " / HTTP/1.1\r\n\r\n") == SIM_PARSE_OK);
    CHECK(parse(std::string(SIM_METHOD_MAX + 1, 'M') + " / HTTP/1.1\r\n\r\n") == SIM_PARSE_BAD);
    CHECK(parse("GET /" + std::string(SIM_TARGET_MAX - 1, 'a') + " HTTP/1.1\r\n\r\n") == SIM_PARSE_OK);
    CHECK(parse("GET /" + std::string(SIM_TARGET_MAX, 'a') + " HTTP/1.1\r\n\r\n") == SIM_PARSE_BAD);
}

TEST_CASE("a request line that cannot become a request is bad before its end")
{
    // No line break yet, but no request line begins like this: waiting for
    // more would only keep the client waiting.
    CHECK(parse("garbage") == SIM_PARSE_BAD);
    CHECK(parse("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03") == SIM_PARSE_BAD);  // a TLS hello
    CHECK(parse("GET /a\x01") == SIM_PARSE_BAD);
    CHECK(parse("GET / HTTP/2") == SIM_PARSE_BAD);
    CHECK(parse("GET / XTTP") == SIM_PARSE_BAD);
    CHECK(parse(std::string(SIM_METHOD_MAX + 1, 'M')) == SIM_PARSE_BAD);
    // What may still become one stays incomplete.
    CHECK(parse("GET") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("GET ") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("GET /pogoda") == SIM_PARSE_INCOMPLETE);
    CHECK(parse("GET /pogoda HTTP/1.1\r") == SIM_PARSE_INCOMPLETE);
    CHECK(parse(std::string(SIM_METHOD_MAX, 'M')) == SIM_PARSE_INCOMPLETE);
}

TEST_CASE("a head too long is bad")
{
    std::string start = "GET / HTTP/1.1\r\n";
    std::string filler;
    while (start.size() + filler.size() < (size_t)SIM_HEAD_MAX)
        filler += "X-Filler: 0123456789abcdef0123456789abcdef\r\n";
    std::string head = start + filler;
    head.resize(SIM_HEAD_MAX);
    // SIM_HEAD_MAX bytes without the end of the head: it will never fit.
    CHECK(parse(head) == SIM_PARSE_BAD);
    CHECK(parse(head.substr(0, SIM_HEAD_MAX - 1)) == SIM_PARSE_INCOMPLETE);
    // A head of exactly SIM_HEAD_MAX bytes, its end included, is read.
    std::string whole = head.substr(0, SIM_HEAD_MAX - 200);
    whole = whole.substr(0, whole.rfind("\r\n") + 2);
    whole += "X-Last: " + std::string((size_t)SIM_HEAD_MAX - whole.size() - 12, 'z') + "\r\n\r\n";
    REQUIRE(whole.size() == (size_t)SIM_HEAD_MAX);
    CHECK(parse(whole) == SIM_PARSE_OK);
    // A request line that never ends.
    CHECK(parse("GET /" + std::string(SIM_HEAD_MAX, 'a')) == SIM_PARSE_BAD);
    // Nothing but empty lines, SIM_HEAD_MAX of them.
    CHECK(parse(std::string(SIM_HEAD_MAX, '\n')) == SIM_PARSE_BAD);
    // A long Referer is kept cut to its bound.
    SimRequest r;
    REQUIRE(parse("GET / HTTP/1.1\r\nReferer: " + std::string(3000, 'r') + "\r\n\r\n", &r) == SIM_PARSE_OK);
    CHECK(strlen(r.referer) == (size_t)SIM_FIELD_MAX);
}

// ---- routes ----

TEST_CASE("routes to the two pages")
{
    char location[256];
    CHECK(sim_route("/pogoda/russia/moscow-area/moscow", location, sizeof location) == SIM_PAGE_ACTUAL);
    CHECK(std::string(location) == "russia/moscow-area/moscow");
    CHECK(sim_route("/forecasts5000/egypt//cairo/print", location, sizeof location) == SIM_PAGE_FORECAST);
    CHECK(std::string(location) == "egypt//cairo");
    // A query or fragment is no part of the path.
    CHECK(sim_route("/pogoda/egypt//cairo?x=1/print", location, sizeof location) == SIM_PAGE_ACTUAL);
    CHECK(std::string(location) == "egypt//cairo");
    CHECK(sim_route("/forecasts5000/egypt//cairo/print#top", location, sizeof location) == SIM_PAGE_FORECAST);
    CHECK(std::string(location) == "egypt//cairo");
    // Absolute form, as a client that takes us for a plain proxy sends.
    CHECK(sim_route("http://www.example/pogoda/egypt//cairo", location, sizeof location) == SIM_PAGE_ACTUAL);
    CHECK(std::string(location) == "egypt//cairo");
    CHECK(sim_route("HTTP://www.example:80/forecasts5000/egypt//cairo/print", location, sizeof location) ==
          SIM_PAGE_FORECAST);
    CHECK(std::string(location) == "egypt//cairo");
}

TEST_CASE("other paths route nowhere")
{
    char location[64];
    const char *const NONE[] = {
        "/", "*", "/pogoda", "/pogoda/", "/pogoda?x", "/Pogoda/egypt//cairo", "/pogodaegypt//cairo",
        "/forecasts5000/egypt//cairo", "/forecasts5000//print", "/forecasts5000/print",
        "/forecasts5000/egypt//cairo/Print", "/forecasts/egypt//cairo/print", "http://www.example",
        "http://www.example/", "https://www.example/pogoda/egypt//cairo", "pogoda/egypt//cairo", "",
    };
    for (const char *target : NONE) {
        INFO("target: " << target);
        strcpy(location, "unchanged");
        CHECK(sim_route(target, location, sizeof location) == SIM_PAGE_NONE);
        CHECK(location[0] == 0);
    }
    // A location longer than the room for it.
    std::string long_one = "/pogoda/" + std::string(64, 'a');
    CHECK(sim_route(long_one.c_str(), location, sizeof location) == SIM_PAGE_NONE);
    CHECK(sim_route(("/pogoda/" + std::string(63, 'a')).c_str(), location, sizeof location) == SIM_PAGE_ACTUAL);
}

TEST_CASE("responses: pages, 404 and 405")
{
    int32_t today = day_of(2027, 3, 10);
    Response r = respond("GET", actual_target("russia/moscow-area/moscow"), 1, today);
    CHECK(r.status == 200);
    CHECK(r.bytes.compare(0, 17, "HTTP/1.1 200 OK\r\n") == 0);
    CHECK(contains(r.head(), "\r\nContent-Length: " + std::to_string(r.body().size()) + "\r\n"));
    CHECK(contains(r.head(), "\r\nConnection: close\r\n"));
    CHECK(contains(r.head(), "\r\nContent-Type: text/html; charset=utf-8\r\n"));
    CHECK(contains(r.body(), "Фактическая погода"));

    // HEAD: the same head, no body.
    Response h = respond("HEAD", actual_target("russia/moscow-area/moscow"), 1, today);
    CHECK(h.status == 200);
    CHECK(h.bytes == r.head());

    // Absolute form gives the same page.
    Response a = respond("GET", "http://www.example" + actual_target("russia/moscow-area/moscow"), 1, today);
    CHECK(a.status == 200);
    CHECK(a.bytes == r.bytes);

    Response missing = respond("GET", "/pogoda/russia/moscow-area/atlantis", 1, today);
    CHECK(missing.status == 404);
    CHECK(missing.bytes.compare(0, 24, "HTTP/1.1 404 Not Found\r\n") == 0);
    CHECK(contains(missing.head(), "\r\nContent-Length: " + std::to_string(missing.body().size()) + "\r\n"));
    CHECK(missing.body().size() > 0);
    Response missing_head = respond("HEAD", "/nothing", 1, today);
    CHECK(missing_head.status == 404);
    CHECK(missing_head.body().empty());

    for (const char *method : {"POST", "PUT", "DELETE", "OPTIONS", "TRACE", "PATCH"}) {
        INFO("method " << method);
        Response m = respond(method, actual_target("russia/moscow-area/moscow"), 1, today);
        CHECK(m.status == 405);
        CHECK(m.bytes.compare(0, 33, "HTTP/1.1 405 Method Not Allowed\r\n") == 0);
        CHECK(contains(m.head(), "\r\nAllow: GET, HEAD\r\n"));
    }

    int32_t length = 0;
    char *bad = sim_bad_request(&length);
    REQUIRE(bad != nullptr);
    std::string bad_bytes(bad, (size_t)length);
    mem_free(bad);
    CHECK(bad_bytes.compare(0, 26, "HTTP/1.1 400 Bad Request\r\n") == 0);
    CHECK(contains(bad_bytes, "\r\nConnection: close\r\n"));
}

// ---- the catalogue's locations ----

TEST_CASE("every catalogue location is known; near misses are not")
{
    std::vector<std::string> paths = all_locations();
    CHECK(paths.size() > 3000);
    for (const std::string &path : paths) {
        INFO("location " << path);
        REQUIRE(sim_known_location(path.c_str()) == 1);
    }
    // The default of location_path_at and a few outside positions.
    CHECK(sim_known_location(path_at(-1, -1).c_str()) == 1);
    CHECK(sim_known_location(path_at(0, 100000).c_str()) == 1);

    const char *const UNKNOWN[] = {
        "", "russia", "russia/", "russia/moscow-area", "russia/moscow-area/", "russia/moscow-area/moscow/",
        "russia/moscow-area/moscow2x", "russia/moscow-area/mosco", "russia/leningrad-region/moscow",
        "russia//moscow", "egypt/cairo", "egypt///cairo", "egypt//cairo/", "Egypt//cairo",
        "atlantis//atlantis", "/russia/moscow-area/moscow", "russia/moscow-area/moscow?",
    };
    for (const char *path : UNKNOWN) {
        INFO("location " << path);
        CHECK(sim_known_location(path) == 0);
    }
}

TEST_CASE("both pages of every catalogue location read back whole with the real parsers")
{
    FixedNow now(2027, 3, 10, 9);
    int32_t today = sim_today();
    REQUIRE(today == day_of(2027, 3, 10));
    std::vector<std::string> paths = all_locations();
    for (const std::string &path : paths)
        check_pages_read_back(path, 1, today);
}

TEST_CASE("the pages read back across the turn of the year and in other seasons")
{
    const struct {
        int year, month, day;
    } DATES[] = {{2026, 12, 29}, {2026, 12, 31}, {2027, 1, 1}, {2028, 2, 29}, {2027, 7, 15}, {2027, 10, 31}};
    const char *const PLACES[] = {"russia/moscow-area/moscow", "russia/republic-saha-yakutia/jakutsk",
                                  "egypt//cairo", "australia//sydney", "usa//anchorage"};
    for (const auto &date : DATES) {
        FixedNow now(date.year, date.month, date.day, 23);
        int32_t today = sim_today();
        REQUIRE(today == day_of(date.year, date.month, date.day));
        for (const char *place : PLACES) {
            for (uint32_t seed : {0u, 7u, 4294967295u})
                check_pages_read_back(place, seed, today);
        }
    }
}

TEST_CASE("today is the day of the local date at any hour")
{
    for (int hour : {0, 1, 11, 12, 13, 23}) {
        FixedNow now(2027, 6, 1, hour);
        CHECK(sim_today() == day_of(2027, 6, 1));
    }
    FixedNow late(2027, 6, 1, 23);
    page_clock_set_local(2027, 6, 1, 23, 59, 59);
    CHECK(sim_today() == day_of(2027, 6, 1));
    page_clock_set_local(2027, 6, 2, 0, 0, 0);
    CHECK(sim_today() == day_of(2027, 6, 2));
}

TEST_CASE("the forecast's headings name the seven days in Russian")
{
    int32_t length = 0;
    char *page = sim_build_page(SIM_PAGE_FORECAST, 1, "russia/moscow-area/moscow", day_of(2026, 12, 29), &length);
    REQUIRE(page != nullptr);
    std::string text(page, (size_t)length);
    mem_free(page);
    const char *const HEADINGS[] = {"29 декабря", "30 декабря", "31 декабря", "1 января",
                                    "2 января",   "3 января",   "4 января"};
    size_t at = 0;
    for (const char *heading : HEADINGS) {
        size_t found = text.find(std::string("<nobr>") + heading + "</nobr>", at);
        INFO("heading " << heading);
        CHECK(found != std::string::npos);
        if (found != std::string::npos)
            at = found;
    }
    CHECK(sim_build_page(SIM_PAGE_NONE, 1, "russia/moscow-area/moscow", 0, &length) == nullptr);
    CHECK(length == 0);
}

// ---- determinism ----

TEST_CASE("the same seed, location and day give the same bytes")
{
    int32_t today = day_of(2027, 3, 10);
    for (const std::string &path : {std::string("russia/moscow-area/moscow"), std::string("egypt//cairo"),
                                    path_at(17, 3), path_at(0, 500)}) {
        for (int page : {SIM_PAGE_ACTUAL, SIM_PAGE_FORECAST}) {
            int32_t a_length, b_length;
            char *a = sim_build_page(page, 42, path.c_str(), today, &a_length);
            char *b = sim_build_page(page, 42, path.c_str(), today, &b_length);
            REQUIRE(a != nullptr);
            REQUIRE(b != nullptr);
            CHECK(std::string(a, (size_t)a_length) == std::string(b, (size_t)b_length));
            mem_free(a);
            mem_free(b);
        }
    }
}

TEST_CASE("a day's weather does not depend on the day it is asked on")
{
    // The forecast for a date is the same whether it is day 0 or day 6 of
    // the page, and day 0 is the day of the observation.
    const char *place = "russia/leningrad-region/sankt-peterburg";
    int32_t today = day_of(2027, 4, 1);
    for (int32_t day = today; day < today + 7; day++) {
        SimDay a, b;
        sim_weather_day(3, place, day, &a);
        sim_weather_day(3, place, day, &b);
        CHECK(memcmp(&a, &b, sizeof a) == 0);
    }
    SimDay day0;
    sim_weather_day(3, place, today, &day0);
    SimObservation now;
    sim_weather_observation(3, place, today, &now);
    CHECK(now.temperature >= day0.night_temperature);
    CHECK(now.temperature <= day0.day_temperature);
    CHECK(std::string(now.wind_direction) == day0.wind_direction);
    CHECK(now.wind_speed == day0.wind_speed);
    CHECK(now.precip_24h == day0.precip);
    CHECK(now.precip_6h <= now.precip_12h);
    CHECK(now.precip_12h <= now.precip_24h);
    // The week of one day's page, shifted by a day, is the next day's.
    Response first = respond("GET", forecast_target(place), 3, today);
    Response second = respond("GET", forecast_target(place), 3, today + 1);
    Record a, b;
    {
        FixedNow clock(2027, 4, 1, 10);
        REQUIRE(parse_forecast_page_into(a.record, first.bytes.data(), (int32_t)first.bytes.size()) == 1);
    }
    {
        FixedNow clock(2027, 4, 2, 10);
        REQUIRE(parse_forecast_page_into(b.record, second.bytes.data(), (int32_t)second.bytes.size()) == 1);
    }
    for (int i = 0; i + 1 < FORECAST_DAYS; i++) {
        CHECK(a.record->days[i + 1].date == b.record->days[i].date);
        CHECK(a.record->days[i + 1].day_temperature == b.record->days[i].day_temperature);
        CHECK(a.record->days[i + 1].night_temperature == b.record->days[i].night_temperature);
        CHECK(text_of(&a.record->days[i + 1].comment) == text_of(&b.record->days[i].comment));
    }
}

TEST_CASE("other seeds, places and days give other weather")
{
    int32_t today = day_of(2027, 3, 10);
    std::vector<std::string> paths = all_locations();
    int differing_seeds = 0, differing_days = 0, compared = 0;
    for (size_t i = 0; i < paths.size(); i += 97) {
        compared++;
        int32_t n1, n2, n3;
        char *a = sim_build_page(SIM_PAGE_FORECAST, 1, paths[i].c_str(), today, &n1);
        char *b = sim_build_page(SIM_PAGE_FORECAST, 2, paths[i].c_str(), today, &n2);
        char *c = sim_build_page(SIM_PAGE_FORECAST, 1, paths[i].c_str(), today + 30, &n3);
        REQUIRE(a != nullptr);
        REQUIRE(b != nullptr);
        REQUIRE(c != nullptr);
        std::string sa(a, (size_t)n1), sb(b, (size_t)n2), sc(c, (size_t)n3);
        differing_seeds += sa != sb;
        differing_days += sa != sc;
        mem_free(a);
        mem_free(b);
        mem_free(c);
    }
    CHECK(differing_seeds == compared);
    CHECK(differing_days == compared);

    // Neighbouring cities of one climate do not share their weather.
    SimDay moscow, tver;
    int same = 0;
    for (int32_t day = today; day < today + 30; day++) {
        sim_weather_day(1, "russia/moscow-area/moscow", day, &moscow);
        sim_weather_day(1, "russia/moscow-area/klin", day, &tver);
        same += moscow.day_temperature == tver.day_temperature && moscow.kind == tver.kind &&
                moscow.wind_speed == tver.wind_speed;
    }
    CHECK(same < 15);

    // The seed changes the observation too, over a handful of seeds.
    int distinct = 0;
    SimObservation first;
    sim_weather_observation(0, "egypt//cairo", today, &first);
    for (uint32_t seed = 1; seed < 20; seed++) {
        SimObservation other;
        sim_weather_observation(seed, "egypt//cairo", today, &other);
        distinct += other.temperature != first.temperature || other.pressure != first.pressure ||
                    other.humidity != first.humidity;
    }
    CHECK(distinct >= 15);
}

TEST_CASE("the hash mixes every input")
{
    uint32_t base = sim_hash(1, "russia/moscow-area/moscow", 100, 1);
    CHECK(base == sim_hash(1, "russia/moscow-area/moscow", 100, 1));
    CHECK(base != sim_hash(2, "russia/moscow-area/moscow", 100, 1));
    CHECK(base != sim_hash(1, "russia/moscow-area/moscoW", 100, 1));
    CHECK(base != sim_hash(1, "russia/moscow-area/moscow", 101, 1));
    CHECK(base != sim_hash(1, "russia/moscow-area/moscow", 100, 2));
    CHECK(sim_hash(1, NULL, 0, 0) == sim_hash(1, "", 0, 0));
}

// ---- plausibility ----

TEST_CASE("climates follow the place: Russian regions, countries and the southern hemisphere")
{
    const SimClimate *yakutia = sim_climate_of("russia/republic-saha-yakutia/jakutsk");
    const SimClimate *moscow = sim_climate_of("russia/moscow-area/moscow");
    const SimClimate *sochi = sim_climate_of("russia/krasnodar-territory/sochi");
    const SimClimate *egypt = sim_climate_of("egypt//cairo");
    const SimClimate *australia = sim_climate_of("australia//sydney");
    CHECK(yakutia->january < -25);
    CHECK(yakutia->january < moscow->january);
    CHECK(sochi->january > moscow->january);
    CHECK(egypt->july > 25);
    CHECK(egypt->wet_percent < 10);
    CHECK(australia->january > australia->july);
    // Unknown places get a mild climate rather than nothing.
    CHECK(sim_climate_of(NULL) != nullptr);
    CHECK(sim_climate_of("atlantis//atlantis") != nullptr);
    CHECK(sim_climate_of("russia/atlantis/atlantis") == moscow);

    // The seasonal mean passes through the table's January and July.
    CHECK(sim_seasonal_mean(yakutia, 16) == doctest::Approx(yakutia->january).epsilon(0.01));
    CHECK(sim_seasonal_mean(yakutia, 198) == doctest::Approx(yakutia->july).epsilon(0.02));
    CHECK(sim_seasonal_mean(australia, 16) == doctest::Approx(australia->january).epsilon(0.01));

    // Every location of the catalogue has a climate with the seasons the
    // right way round for its hemisphere and sensible numbers.
    for (const std::string &path : all_locations()) {
        INFO("location " << path);
        const SimClimate *c = sim_climate_of(path.c_str());
        REQUIRE(c != nullptr);
        CHECK(c->january >= -45);
        CHECK(c->july <= 40);
        CHECK(c->day_range > 0);
        CHECK(c->wet_percent >= 0);
        CHECK(c->wet_percent <= 100);
        CHECK(c->wind > 0);
    }
}

TEST_CASE("no July frost in Cairo, no thaw in Yakutsk in January")
{
    for (uint32_t seed = 0; seed < 40; seed++) {
        for (int d = 1; d <= 31; d++) {
            SimDay cairo;
            sim_weather_day(seed, "egypt//cairo", day_of(2027, 7, d), &cairo);
            INFO("seed " << seed << ", July " << d);
            CHECK(cairo.night_temperature >= 15);
            CHECK(cairo.day_temperature >= 26);
            CHECK(cairo.day_temperature <= 45);
            CHECK(cairo.kind < SIM_SLEET);  // no snow of any kind

            SimDay yakutsk;
            sim_weather_day(seed, "russia/republic-saha-yakutia/jakutsk", day_of(2027, 1, d), &yakutsk);
            INFO("Yakutsk in January");
            CHECK(yakutsk.day_temperature <= -15);
            CHECK(yakutsk.night_temperature >= -60);
            CHECK(yakutsk.kind != SIM_LIGHT_RAIN);
            CHECK(yakutsk.kind != SIM_SHOWERS);
            CHECK(yakutsk.kind != SIM_HEAVY_RAIN);
            CHECK(yakutsk.kind != SIM_THUNDERSTORM);
            CHECK(yakutsk.kind != SIM_SLEET);

            SimObservation now;
            sim_weather_observation(seed, "russia/republic-saha-yakutia/jakutsk", day_of(2027, 1, d), &now);
            CHECK(now.temperature <= -15);
        }
    }
    // Every place of the Yakutia region, a whole January.
    for (const std::string &path : all_locations()) {
        if (path.compare(0, 29, "russia/republic-saha-yakutia/") != 0)
            continue;
        for (int d = 1; d <= 31; d++) {
            SimDay day;
            sim_weather_day(5, path.c_str(), day_of(2027, 1, d), &day);
            INFO(path << " January " << d);
            CHECK(day.day_temperature < 0);
        }
    }
}

TEST_CASE("the large countries' extremes and the coast of Magadan")
{
    // The mean of a whole month's days, over a few seeds.
    auto month_mean = [](const char *path, int month) {
        double sum = 0;
        int count = 0;
        for (uint32_t seed = 0; seed < 8; seed++) {
            for (int d = 1; d <= 28; d++) {
                SimDay w;
                sim_weather_day(seed, path, day_of(2027, month, d), &w);
                sum += (w.day_temperature + w.night_temperature) / 2.0;
                count++;
            }
        }
        return sum / count;
    };
    const struct {
        const char *path;
        int month;
        double low, high;
    } MEANS[] = {
        {"usa//miami", 1, 15, 25},
        {"usa//phoenix", 7, 28, 38},
        {"usa//anchorage", 7, 10, 20},
        {"usa//anchorage", 1, -15, -3},
        {"usa//chicago", 1, -6, 6},
        {"canada//vancouver", 1, 0, 8},
        {"canada//yellowknife", 1, -32, -18},
        {"australia//darwin", 7, 20, 30},
        {"australia//hobart", 7, 5, 13},
        {"china//harbin", 1, -25, -10},
        {"china//guangzhou", 1, 10, 19},
        {"russia/magadan-area/magadan", 1, -22, -10},
        {"russia/republic-saha-yakutia/jakutsk", 1, -42, -28},
        {"russia/republic-saha-yakutia/jakutsk", 7, 12, 22},
        {"egypt//cairo", 7, 24, 32},
        {"russia/moscow-area/moscow", 1, -13, -3},
    };
    for (const auto &m : MEANS) {
        double mean = month_mean(m.path, m.month);
        INFO(m.path << " in month " << m.month << ": " << mean);
        CHECK(mean >= m.low);
        CHECK(mean <= m.high);
    }
    // No frost in Miami in January, nor heat in Anchorage in July.
    for (uint32_t seed = 0; seed < 20; seed++) {
        for (int d = 1; d <= 31; d++) {
            SimDay miami, anchorage;
            sim_weather_day(seed, "usa//miami", day_of(2027, 1, d), &miami);
            sim_weather_day(seed, "usa//anchorage", day_of(2027, 7, d), &anchorage);
            CHECK(miami.night_temperature > 3);
            CHECK(anchorage.day_temperature < 27);
        }
    }
}

TEST_CASE("the weather keeps to the season's bounds and its kinds to the temperature, everywhere")
{
    std::vector<std::string> paths = all_locations();
    int32_t first = day_of(2027, 1, 1);
    int snowy = 0, rainy = 0, clear = 0;
    for (size_t i = 0; i < paths.size(); i += 7) {
        const char *path = paths[i].c_str();
        const SimClimate *c = sim_climate_of(path);
        for (int32_t day = first; day < first + 365; day += 5) {
            SimDay w;
            sim_weather_day((uint32_t)i, path, day, &w);
            CalendarDate date;
            day_number_to_date((double)day, &date);
            INFO(path << " on " << (int)date.day << "." << (int)date.month);
            double lowest = (c->january < c->july ? c->january : c->july) - 9 - c->day_range;
            double highest = (c->january > c->july ? c->january : c->july) + 9 + c->day_range;
            CHECK(w.night_temperature <= w.day_temperature);
            CHECK(w.night_temperature >= lowest);
            CHECK(w.day_temperature <= highest);
            CHECK(w.kind >= 0);
            CHECK(w.kind < SIM_KIND_COUNT);
            bool snow = w.kind >= SIM_SNOW_GRAINS;
            bool rain = w.kind >= SIM_LIGHT_RAIN && w.kind <= SIM_THUNDERSTORM;
            if (snow)
                CHECK(w.day_temperature <= 4);
            if (rain)
                CHECK(w.day_temperature >= 0);
            if (w.kind == SIM_THUNDERSTORM)
                CHECK(w.day_temperature >= 15);
            bool wet = rain || snow || w.kind == SIM_SLEET;
            CHECK((w.precip > 0) == wet);
            CHECK(w.precip >= 0);
            CHECK(w.precip <= 30);
            CHECK(w.precip_probability >= 0);
            CHECK(w.precip_probability <= 100);
            if (wet)
                CHECK(w.precip_probability >= 50);
            CHECK(w.wind_speed >= 0);
            CHECK(w.wind_speed <= 30);
            CHECK((w.wind_speed == 0) == (std::string(w.wind_direction) == "Штиль"));
            REQUIRE(w.forecast_comment != nullptr);
            CHECK(strlen(w.wind_direction) <= (size_t)WIND_DIRECTION_MAX);
            snowy += snow;
            rainy += rain;
            clear += w.kind == SIM_CLEAR;

            SimObservation o;
            sim_weather_observation((uint32_t)i, path, day, &o);
            CHECK(o.pressure >= 720);
            CHECK(o.pressure <= 790);
            CHECK(o.humidity >= 5);
            CHECK(o.humidity <= 100);
            CHECK(actual_condition_code(o.picture) != 0);
            REQUIRE(o.comment != nullptr);
        }
    }
    // The kinds all occur somewhere over a year.
    CHECK(snowy > 0);
    CHECK(rainy > 0);
    CHECK(clear > 0);
}

TEST_CASE("the texts are Russian and agree with the picture")
{
    // Every kind's comments are in Cyrillic, and the picture's condition on
    // both pages is of the same family as the comment.
    int32_t first = day_of(2027, 1, 1);
    int kinds_seen[SIM_KIND_COUNT] = {0};
    const char *const PLACES[] = {"russia/republic-saha-yakutia/jakutsk", "russia/moscow-area/moscow",
                                  "egypt//cairo", "indonesia//jakarta", "norway//bergen", "denmark//copenhagen"};
    for (const char *place : PLACES) {
        for (int32_t day = first; day < first + 730; day++) {
            SimDay w;
            sim_weather_day(9, place, day, &w);
            SimObservation o;
            sim_weather_observation(9, place, day, &o);
            kinds_seen[w.kind]++;
            std::string fc = w.forecast_comment, ac = o.comment;
            INFO(place << " day " << day << ": " << fc << " / " << ac);
            CHECK((unsigned char)fc[0] == 0xD0);  // a capital Cyrillic letter
            CHECK((unsigned char)ac[0] == 0xD0);
            int16_t fcode = forecast_condition_code(w.forecast_picture);
            int16_t acode = actual_condition_code(o.picture);
            CHECK(fcode != 0);
            CHECK(acode != 0);
            bool snow_text = contains(fc, "нег") || contains(fc, "крупа");
            bool rain_text = contains(fc, "ожд") || contains(fc, "роза") || contains(fc, "ивен");
            bool snow_code = fcode == 2 || fcode == 3 || fcode == 12 || fcode == 13;
            bool rain_code = fcode == 1 || fcode == 8 || fcode == 9 || fcode == 10 || fcode == 11;
            bool mixed_code = fcode == 4 || fcode == 14;
            if (mixed_code) {
                bool mixed_text = (snow_text && rain_text) || contains(fc, "Мокрый снег");
                CHECK(mixed_text);
            }
            else {
                CHECK(snow_text == snow_code);
                CHECK(rain_text == rain_code);
            }
        }
    }
    for (int k = 0; k < SIM_KIND_COUNT; k++) {
        INFO("kind " << k);
        CHECK(kinds_seen[k] > 0);
    }
}

// ---- CONNECT ----

TEST_CASE("CONNECT: port 80 of any host is ours, other ports are refused, the rest is bad")
{
    CHECK(sim_connect_status("www.example:80") == 200);
    CHECK(sim_connect_status("localhost:80") == 200);
    CHECK(sim_connect_status("127.0.0.1:80") == 200);
    CHECK(sim_connect_status("a:80") == 200);
    CHECK(sim_connect_status("some_host-1.example.org:080") == 200);
    CHECK(sim_connect_status("[::1]:80") == 200);
    CHECK(sim_connect_status("[2001:db8::1]:80") == 200);

    CHECK(sim_connect_status("www.example:443") == 403);
    CHECK(sim_connect_status("www.example:8080") == 403);
    CHECK(sim_connect_status("www.example:1") == 403);
    CHECK(sim_connect_status("www.example:65535") == 403);
    CHECK(sim_connect_status("[::1]:443") == 403);

    const char *const BAD[] = {
        "", ":", ":80", "www.example", "www.example:", "www.example:0", "www.example:65536",
        "www.example:99999999999999999999", "www.example:8a", "www.example:-80", "www.example:+80",
        "www.example: 80", "user@www.example:80", "www.example/:80", "http://www.example:80",
        "www.exa%mple:80", "[::1]", "[::1:80", "::1:80", "[]:80", "[:x:]:80",
    };
    for (const char *target : BAD) {
        INFO("target: " << target);
        CHECK(sim_connect_status(target) == 400);
    }
}

TEST_CASE("the answers to CONNECT")
{
    int32_t length = 0;
    char *ok = sim_connect_answer(200, &length);
    REQUIRE(ok != nullptr);
    std::string ok_bytes(ok, (size_t)length);
    mem_free(ok);
    CHECK(ok_bytes.compare(0, 13, "HTTP/1.0 200 ") == 0);
    CHECK(ok_bytes.size() >= 4);
    CHECK(ok_bytes.compare(ok_bytes.size() - 4, 4, "\r\n\r\n") == 0);
    CHECK(ok_bytes.find("Content-Length") == std::string::npos);

    for (int status : {400, 403}) {
        char *refused = sim_connect_answer(status, &length);
        REQUIRE(refused != nullptr);
        std::string bytes(refused, (size_t)length);
        mem_free(refused);
        CHECK(bytes.compare(0, 13, "HTTP/1.1 " + std::to_string(status) + " ") == 0);
        CHECK(contains(bytes, "\r\nConnection: close\r\n"));
    }
}

TEST_CASE("the open data: any coordinates, read whole by the real reader, the place's own date")
{
    // 22:30 UTC is already tomorrow east of 22.5 degrees of longitude.
    const int64_t now = 1796682600;  // 2026-12-07T22:30:00Z
    struct Case {
        const char *coordinates;
        const char *current_time;
        double first_day;
    };
    const Case cases[] = {
        {"latitude=55.7558&longitude=37.6173", "2026-12-08T01:30", page_noon_day_number(2026, 12, 8)},
        {"latitude=-33.8688&longitude=-70.6693", "2026-12-07T17:30", page_noon_day_number(2026, 12, 7)},
        {"latitude=0&longitude=0", "2026-12-07T22:30", page_noon_day_number(2026, 12, 7)},
        // Past 180 degrees Chukotka keeps UTC+12, as Anadyr does.
        {"latitude=64.4229&longitude=-173.2264", "2026-12-08T10:30", page_noon_day_number(2026, 12, 8)},
        {"latitude=64.7342&longitude=177.5103", "2026-12-08T10:30", page_noon_day_number(2026, 12, 8)},
    };
    for (const Case &c : cases) {
        CAPTURE(c.coordinates);
        std::string target = std::string("http://api.open-meteo.com/v1/forecast?") + c.coordinates +
                             "&current=temperature_2m&wind_speed_unit=ms&timezone=auto";
        REQUIRE(sim_open_data_route(target.c_str()));
        int status = 0;
        int32_t length = 0;
        char *bytes = sim_open_data_respond(target.c_str(), 0, 3, now, &status, &length);
        REQUIRE(bytes != nullptr);
        std::string text(bytes, (size_t)length);
        CHECK(status == 200);
        CHECK(text.find(std::string("\"time\":\"") + c.current_time + "\",\"interval\":900") != std::string::npos);
        CHECK(text.find("\"wind_speed_10m\":\"m/s\"") != std::string::npos);

        WeatherRecord *record = weather_record_create();
        int replaced = 0;
        CHECK(parse_open_data_into(record, bytes, length, WEATHER_PARTS_ALL, &replaced) == 1);
        CHECK(replaced == WEATHER_PARTS_ALL);
        CHECK(record->temperature != NO_TEMPERATURE);
        CHECK(record->precip_24h >= record->precip_6h);
        CHECK(record->precip_6h >= 0);
        // The barometer at the place: the sea-level figure brought up to
        // the answer's elevation, so never above it.
        size_t at = text.find("\"elevation\":");
        REQUIRE(at != std::string::npos);
        double elevation = atof(text.c_str() + at + 12);
        CHECK(text.find("pressure_msl") == std::string::npos);
        CHECK(record->pressure >= (int)floor(995.0 * pow(1.0 - 2.25577e-5 * elevation, 5.25588) * 0.750062));
        CHECK(record->pressure <= (int)ceil(1034.9 * pow(1.0 - 2.25577e-5 * elevation, 5.25588) * 0.750062));
        CHECK(weather_comment(&record->comment) != nullptr);
        for (int i = 0; i < FORECAST_DAYS; i++) {
            CAPTURE(i);
            CHECK(record->days[i].date == c.first_day + i);
            CHECK(record->days[i].day_temperature >= record->days[i].night_temperature);
            CHECK(weather_comment(&record->days[i].comment) != nullptr);
        }
        weather_record_destroy(record);

        // The same seed, place and moment: the same bytes.
        int32_t again_length = 0;
        char *again = sim_open_data_respond(target.c_str(), 0, 3, now, &status, &again_length);
        CHECK(std::string(again, (size_t)again_length) == text);
        mem_free(again);
        mem_free(bytes);
    }
    for (const char *bad : {"/v1/forecast?latitude=91&longitude=0", "/v1/forecast?longitude=0",
                            "/v1/forecast?latitude=1,5&longitude=0"}) {
        CAPTURE(bad);
        int status = 0;
        int32_t length = 0;
        char *bytes = sim_open_data_respond(bad, 0, 3, now, &status, &length);
        REQUIRE(bytes != nullptr);
        CHECK(status == 400);
        CHECK(std::string(bytes, (size_t)length).find("{\"error\":true,\"reason\":") != std::string::npos);
        mem_free(bytes);
    }
    CHECK_FALSE(sim_open_data_route("/v1/forecastx?latitude=1&longitude=1"));
}

TEST_CASE("the open data by the program's own request: hours for every day, a storm tomorrow when asked")
{
    const int64_t now = 1796682600;  // 2026-12-07T22:30:00Z: 01:30 on the 8th in Moscow
    char *path = open_data_path(557558, 376173);
    REQUIRE(path != nullptr);
    std::string target = std::string("/") + path;
    mem_free(path);
    for (int storm = 0; storm < 2; storm++) {
        CAPTURE(storm);
        sim_open_data_set_storm(storm);
        int status = 0;
        int32_t length = 0;
        char *bytes = sim_open_data_respond(target.c_str(), 0, 3, now, &status, &length);
        REQUIRE(bytes != nullptr);
        WeatherRecord *record = weather_record_create();
        REQUIRE(parse_open_data_into(record, bytes, length, WEATHER_PARTS_ALL, NULL) == 1);
        for (int i = 0; i < FORECAST_DAYS; i++) {
            CAPTURE(i);
            const DayHours &h = record->days[i].hours;
            CHECK(h.has_any == 1);
            CHECK(h.utc_offset_seconds == 3 * 3600);
            for (int s = 0; s < HOUR_STEPS; s++) {
                CHECK(h.steps[s].temperature != NO_TEMPERATURE);
                CHECK(h.steps[s].condition != 0);
                // The last day's 21 has no 00:00 after it.
                CHECK((h.steps[s].precipitation_tenths == NO_VALUE) == (i == FORECAST_DAYS - 1 && s == 7));
            }
        }
        HeadsUpDay days[2];
        heads_up_scan(record, now, days);
        int32_t storm_kinds = HEADS_UP_THUNDERSTORM | HEADS_UP_WIND;
        CHECK(((days[1].kinds & storm_kinds) == storm_kinds) == (storm == 1));
        CHECK(record->days[1].hours.day_code >= (storm ? 95 : 0));
        weather_record_destroy(record);
        mem_free(bytes);
    }
    sim_open_data_set_storm(0);
}

TEST_CASE("--pages cut: the forecast drops after its date row; through the real client a failed transfer")
{
    const char *place = "russia/moscow-area/moscow";
    int32_t today = day_of(2026, 12, 7);
    Response whole = respond("GET", forecast_target(place), 5, today);
    sim_set_pages_mode(SIM_PAGES_CUT);
    Response cut = respond("GET", forecast_target(place), 5, today);
    Response actual = respond("GET", actual_target(place), 5, today);
    sim_set_pages_mode(SIM_PAGES_ON);
    REQUIRE(cut.status == 200);
    CHECK(actual.bytes == respond("GET", actual_target(place), 5, today).bytes);  // the actual page whole
    // The same head, promising the whole page; the bytes stop after the dates.
    CHECK(cut.head() == whole.head());
    CHECK(whole.bytes.compare(0, cut.bytes.size(), cut.bytes) == 0);
    CHECK(cut.bytes.size() < whole.bytes.size());
    CHECK(cut.body().find("pogodadate") != std::string::npos);
    CHECK(cut.body().substr(cut.body().size() - 5) == "</tr>");

    // Read with a close where it drops: the client calls it a failed
    // transfer; the parser, given the bytes anyway, reads the dates alone.
    ScriptServer server;
    REQUIRE(script_server_start(&server, {script_answer(cut.bytes)}));
    net_startup();
    int32_t size = 64000;
    char *buffer = (char *)mem_alloc((uint32_t)size);
    CHECK(http_get("127.0.0.1", server.port, "forecasts5000/russia/moscow-area/moscow/print", NULL, &buffer,
                   &size) == HTTP_INVALID_RESPONSE);
    script_server_stop(&server);
    mem_free(buffer);
    WeatherRecord *record = weather_record_create();
    CHECK(parse_forecast_page_into(record, cut.body().data(), (int32_t)cut.body().size()) == 0);
    CHECK(record->days[0].date > 0.0);
    CHECK(record->days[0].day_temperature == NO_TEMPERATURE);
    weather_record_destroy(record);
}

TEST_CASE("the place search: the catalogue and the extra places, read back by the real reader")
{
    struct Case {
        const char *query;   // as typed
        const char *count;   // the count asked, instead of the program's 10
        int32_t results;
        const char *first;   // "name code latitude longitude population" of the first place
    } cases[] = {
        {"петрово-дал", NULL, 1, "Петрово-Дальнее RU 557420 371860 -1"},
        {"ПЕНЗА", NULL, 1, "Пенза RU 532007 450046 -1"},
        {"Рейкьявик", NULL, 1, "Рейкьявик IS 641355 -218954 118918"},
        {"łó", NULL, 1, "Łódź PL 517592 194560 768755"},
        {"Гонолулу", NULL, 1, "Гонолулу US 213069 -1578583 -1"},
        {"Мо", NULL, 10, "Москва RU 557522 376156 -1"},
        {"Мо", "3", 3, "Москва RU 557522 376156 -1"},
        {"Zzyzx", NULL, 0, ""},
        {"М", NULL, 0, ""},
        {"", NULL, -1, ""},
    };
    for (const Case &c : cases) {
        CAPTURE(c.query);
        char *path = geocoding_path(c.query);
        REQUIRE(path != nullptr);
        std::string target = "http://geocoding-api.open-meteo.com/" + std::string(path);
        mem_free(path);
        if (c.count != NULL)
            target.replace(target.find("count=10"), 8, std::string("count=") + c.count);
        REQUIRE(sim_search_route(target.c_str()));
        Response r = respond("GET", target, 1, 0);
        CHECK(r.status == (c.results < 0 ? 400 : 200));
        FoundPlace places[FOUND_PLACES_MAX];
        int32_t count = parse_found_places(r.bytes.data(), (int32_t)r.bytes.size(), places, FOUND_PLACES_MAX);
        CHECK(count == c.results);
        if (count > 0) {
            const FoundPlace &p = places[0];
            CHECK(std::string(p.name) + " " + p.country_code + " " + std::to_string(p.latitude_e4) + " " +
                      std::to_string(p.longitude_e4) + " " + std::to_string(p.population) == c.first);
            CHECK(p.country[0] != 0);
        }
    }
    Response missing = respond("GET", "/v1/search?count=10", 1, 0);
    CHECK(missing.status == 400);
    CHECK(missing.bytes.find("{\"error\":true,\"reason\":\"Parameter 'name' is required\"}") != std::string::npos);
    CHECK_FALSE(sim_search_route("/v1/searching?name=x"));
}

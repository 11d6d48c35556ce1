// The place search's reader on answers shaped like the real API's, and its
// request path.
#include <doctest/doctest.h>

#include <string.h>
#include <string>

#include "fetch/geocoding_parser.h"
#include "util/mem.h"

namespace {

// Each place read as "name|region|country|CC|lat|lon|population;".
std::string read_all(const std::string &answer, int32_t *count, int32_t capacity = FOUND_PLACES_MAX)
{
    FoundPlace places[FOUND_PLACES_MAX + 2];
    memset(places, 0x5A, sizeof places);
    *count = parse_found_places(answer.data(), (int32_t)answer.size(), places, capacity);
    std::string out;
    for (int32_t i = 0; i < *count; i++) {
        const FoundPlace &p = places[i];
        out += std::string(p.name) + "|" + p.region + "|" + p.country + "|" + p.country_code + "|" +
               std::to_string(p.latitude_e4) + "|" + std::to_string(p.longitude_e4) + "|" +
               std::to_string(p.population) + ";";
    }
    return out;
}

const char PENZA[] = "{\"id\":511565,\"name\":\"Пенза\",\"latitude\":53.20066,\"longitude\":45.00464,\"elevation\":174.0,"
                     "\"feature_code\":\"PPLA\",\"country_code\":\"RU\",\"admin1_id\":511555,\"timezone\":\"Europe/Moscow\","
                     "\"population\":525264,\"country_id\":2017370,\"country\":\"Россия\",\"admin1\":\"Пензенская область\"}";

std::string results(const std::string &entries)
{
    return "{\"results\":[" + entries + "],\"generationtime_ms\":0.7}";
}

} // namespace

TEST_CASE("the reader on real-shaped answers")
{
    const std::string http = "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n\r\n";
    const std::string penza = "Пенза|Пензенская область|Россия|RU|532007|450046|525264;";
    std::string long_name, eleven;
    for (int i = 0; i < 40; i++)
        long_name += "Ж";  // two bytes each: the 32nd does not fit in 63
    for (int i = 0; i < 11; i++)
        eleven += (i ? ",{\"name\":\"P" : "{\"name\":\"P") + std::to_string(i) + "\",\"latitude\":1,\"longitude\":2}";
    eleven = results(eleven);
    struct Case {
        const char *what;
        std::string answer;
        int32_t count;
        std::string places;
    } cases[] = {
        {"a place", results(PENZA), 1, penza},
        {"the same in a whole response", http + results(PENZA), 1, penza},
        {"another status", "HTTP/1.1 500 Internal Server Error\r\n\r\n" + results(PENZA), -1, ""},
        {"no results", "{\"generationtime_ms\":0.1}", 0, ""},
        {"an error object", "{\"error\":true,\"reason\":\"Parameter 'name' is required\"}", -1, ""},
        {"cut short", results(PENZA).substr(0, 60), -1, ""},
        {"not JSON", "<html>busy</html>", -1, ""},
        {"nulls and missing texts",
         results("{\"name\":\"Łódź\",\"latitude\":51.7592,\"longitude\":19.456,\"country\":null,\"admin1\":null,"
                 "\"country_code\":null,\"population\":null}"),
         1, "Łódź||||517592|194560|-1;"},
        {"a name in another script, population missing",
         results("{\"name\":\"東京\",\"latitude\":35.6895,\"longitude\":139.69171,\"country_code\":\"jp\"}"), 1,
         "東京|||JP|356895|1396917|-1;"},
        {"rounding half away from zero and the edges",
         results("{\"name\":\"a\",\"latitude\":-0.00005,\"longitude\":180,\"population\":-3,\"country_code\":\"R1\"},"
                 "{\"name\":\"b\",\"latitude\":90,\"longitude\":-180,\"population\":\"many\",\"country_code\":\"RUS\"}"),
         2, "a||||-1|1800000|-1;b||||900000|-1800000|-1;"},
        {"out of range, non-numeric or nameless entries skipped",
         results("{\"name\":\"x\",\"latitude\":90.0001,\"longitude\":0},{\"name\":\"y\",\"latitude\":\"1\",\"longitude\":0},"
                 "{\"name\":\"\",\"latitude\":1,\"longitude\":1},{\"latitude\":1,\"longitude\":1},7,"
                 "{\"name\":\"z\",\"latitude\":1,\"longitude\":-180.00005}," +
                 std::string(PENZA)),
         1, penza},
        {"a long name cut at a character",
         results("{\"name\":\"" + long_name + "\",\"latitude\":0,\"longitude\":0,\"country_code\":\"RU\"}"), 1,
         long_name.substr(0, 62) + "|||RU|0|0|-1;"},
        {"results not a list", "{\"results\":{}}", -1, ""},
        // Numbers on which rapidjson's full-precision path crashed or erred.
        {"long mantissas with far exponents",
         results("{\"name\":\"c\",\"latitude\":128.74836467836484838364836483643636483648e-336,"
                 "\"longitude\":0.184467440737095516159e2}"),
         1, "c||||0|184467|-1;"},
    };
    for (const Case &c : cases) {
        CAPTURE(c.what);
        int32_t count;
        CHECK(read_all(c.answer, &count) == c.places);
        CHECK(count == c.count);
    }

    int32_t count;
    CHECK(read_all(eleven, &count).find("P9|") != std::string::npos);
    CHECK(count == FOUND_PLACES_MAX);
    CHECK(read_all(eleven, &count, 2) == "P0||||10000|20000|-1;P1||||10000|20000|-1;");
    CHECK(count == 2);
}

TEST_CASE("the request path encodes every byte but the unreserved ones")
{
    char *path = geocoding_path("Петрово-Дальнее a+b&c/~_.");
    REQUIRE(path != NULL);
    CHECK(std::string(path) == "v1/search?name=%D0%9F%D0%B5%D1%82%D1%80%D0%BE%D0%B2%D0%BE-%D0%94%D0%B0%D0%BB%D1%8C"
                               "%D0%BD%D0%B5%D0%B5%20a%2Bb%26c%2F~_.&count=10&language=ru&format=json");
    mem_free(path);
    CHECK(geocoding_path(NULL) == NULL);
}

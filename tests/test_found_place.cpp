// Found places beside the catalogue: the rule that tells one of its own,
// the recent list and the stored form.
#include <doctest/doctest.h>

#include <string.h>
#include <string>

#include "fetch/encoding.h"
#include "settings/catalogue.h"
#include "settings/found_place.h"
#include "util/mem.h"

namespace {

// A found place with its name given in UTF-8, kept in code page 1251.
FoundPlace place(const char *name_utf8, const char *code, double latitude, double longitude)
{
    FoundPlace p;
    memset(&p, 0, sizeof p);
    char *name = utf8_to_cp1251(name_utf8);
    strncpy(p.name, name, sizeof p.name - 1);
    mem_free(name);
    // memcpy: mingw's g++ takes a strncpy of exactly the two letters for a
    // lost terminator (the memset gave it).
    memcpy(p.country_code, code, strlen(code) < sizeof p.country_code ? strlen(code) : sizeof p.country_code - 1);
    p.latitude_e4 = (int32_t)(latitude * 10000 + (latitude < 0 ? -0.5 : 0.5));
    p.longitude_e4 = (int32_t)(longitude * 10000 + (longitude < 0 ? -0.5 : 0.5));
    p.population = -1;
    return p;
}

std::string match_of(const FoundPlace &p)
{
    int32_t country = -7, city = -7;
    if (!found_place_catalogue_match(&p, &country, &city))
        return "-";
    char *path = location_path_at(country, city);
    std::string text = std::to_string(country) + " " + path;
    mem_free(path);
    return text;
}

} // namespace

TEST_CASE("a found place is the catalogue's when of its country, near and of the same name")
{
    const struct {
        FoundPlace found;
        const char *expected;
    } cases[] = {
        {place("Пенза", "RU", 53.20066, 45.00464), "0 russia/penza-area/penza"},
        {place("ПЕНЗА", "ru", 53.2807, 45.0046), "0 russia/penza-area/penza"},   // 8.9 km north
        {place("Пенза", "RU", 53.3007, 45.0046), "-"},                           // 11.1 km north
        {place("Пенза", "UA", 53.2007, 45.0046), "-"},
        {place("Пензенка", "RU", 53.2007, 45.0046), "-"},
        {place("Орёл", "RU", 52.9703, 36.0635), "0 russia/oryol-area/orel"},
        {place("КОРОЛЁВ", "RU", 55.9142, 37.8256), "0 russia/moscow-area/korolev"},
        {place("Гонолулу", "US", 21.30694, -157.85834), "9 the-hawaiian-islands//honolulu"},
        {place("Подгорица", "ME", 42.44111, 19.26361), "46 yugoslavia//podgorica"},
        {place("Пенза", "", 53.2007, 45.0046), "-"},
    };
    for (const auto &c : cases) {
        CAPTURE(c.expected);
        CHECK(match_of(c.found) == c.expected);
    }

    CHECK(catalogue_country_of_code("RU") == 0);
    CHECK(catalogue_country_of_code("us") == 35);  // not the Hawaiian islands at 9
    CHECK(catalogue_country_of_code("XK") == 46);
    CHECK(catalogue_country_of_code("IS") == -1);
    CHECK(catalogue_country_of_code("RUS") == -1);
}

TEST_CASE("the recent list and its stored form")
{
    FoundPlaceList recent;
    memset(&recent, 0, sizeof recent);
    for (int i = 0; i < 10; i++) {
        FoundPlace p = place("Жаворонки", i % 2 ? "RU" : "", 55.6 + i * 0.01, -37.1);
        p.population = i * 100;
        strcpy(p.region, "Московская область");
        found_recent_add(&recent, &p);
    }
    found_recent_add(&recent, &recent.places[3]);
    CHECK(recent.count == FOUND_RECENT_MAX);
    CHECK(recent.places[0].latitude_e4 == 556600);
    CHECK(recent.places[1].latitude_e4 == 556900);
    CHECK(recent.places[7].latitude_e4 == 556200);

    uint8_t bytes[FOUND_PLACES_STORED_MAX];
    uint32_t size = found_places_encode(&recent, bytes, sizeof bytes);
    REQUIRE(size > 2);
    CHECK(found_places_encode(&recent, bytes, size - 1) == 0);
    FoundPlaceList back;
    REQUIRE(found_places_decode(bytes, size, &back));
    CHECK(memcmp(&back, &recent, sizeof back) == 0);

    // Each damage alone, on the list of one place; the first is sound.
    FoundPlaceList one = {1, {place("Łódź", "PL", 51.7592, 19.456)}};
    uint8_t good[FOUND_PLACES_STORED_MAX];
    uint32_t good_size = found_places_encode(&one, good, sizeof good);
    REQUIRE(good_size == 2 + 14 + strlen(one.places[0].name) + 3);
    struct Damage {
        const char *what;
        uint32_t at;     // byte changed, or beyond the end for none
        uint8_t value;
        int32_t size_change;
    } damages[] = {
        {"sound", 999, 0, 0},
        {"version", 0, 2, 0},
        {"count beyond 8", 1, 9, 0},
        {"count beyond the places", 1, 2, 0},
        {"cut", 999, 0, -1},
        {"trailing byte", 999, 0, +1},
        {"latitude beyond 90", 5, 0x7F, 0},
        {"longitude beyond 180", 9, 0x80, 0},
        {"population below -1", 13, 0x80, 0},
        {"country code not a letter", 14, '1', 0},
        {"country code half zero", 15, 0, 0},
        {"empty name", 16, 0, 0},
        {"unterminated country", good_size - 1, 'x', 0},
    };
    for (const Damage &d : damages) {
        CAPTURE(d.what);
        uint8_t damaged[FOUND_PLACES_STORED_MAX + 1] = {0};
        memcpy(damaged, good, good_size);
        if (d.at < good_size)
            damaged[d.at] = d.value;
        FoundPlaceList list = recent;
        int ok = found_places_decode(damaged, (uint32_t)((int32_t)good_size + d.size_change), &list);
        CHECK(ok == (d.at == 999 && d.size_change == 0));
        CHECK(memcmp(&list, ok ? &one : &recent, sizeof list) == 0);
    }
    // A name longer than its room, in a value otherwise sound.
    uint8_t long_text[2 + 14 + 70 + 2] = {1, 1};
    memset(long_text + 16, 'a', 69);
    CHECK(!found_places_decode(long_text, sizeof long_text, &back));
}

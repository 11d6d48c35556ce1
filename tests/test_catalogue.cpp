// The shipped location catalogue: the country list, the counts, the rows
// whose positions are stored settings, the keys and names within what the
// service and the lists take, the order of the tables, and the location path.
#include <doctest/doctest.h>

#include "settings/catalogue.h"
#include "util/mem.h"

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <string.h>

// UTF-8 to code page 1251 for ASCII, Ё, ё and А..я: enough for the names
// written in these tests.
static std::string cp1251(const char *utf8)
{
    std::string out;
    const unsigned char *p = (const unsigned char *)utf8;
    while (*p) {
        if (*p < 0x80) {
            out += (char)*p++;
            continue;
        }
        unsigned code = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
        p += 2;
        if (code == 0x401)
            out += (char)0xA8;
        else if (code == 0x451)
            out += (char)0xB8;
        else if (code >= 0x410 && code <= 0x44F)
            out += (char)(0xC0 + (code - 0x410));
        else
            out += '?';
    }
    return out;
}

// The order of the tables: letter by letter regardless of case, е and ё as
// one letter, space and hyphen before the letters.
static std::string order_key(const char *name)
{
    std::string out;
    for (const unsigned char *p = (const unsigned char *)name; *p; p++) {
        unsigned char c = *p;
        if (c >= 0xC0 && c <= 0xDF)
            c = (unsigned char)(c + 0x20);
        else if (c == 0xA8 || c == 0xB8)
            c = 0xE5;
        else if (c >= 'A' && c <= 'Z')
            c = (unsigned char)(c + 0x20);
        out += (char)c;
    }
    return out;
}

static std::string path_at(int32_t country, int32_t city)
{
    char *path = location_path_at(country, city);
    REQUIRE(path != nullptr);
    std::string text = path;
    mem_free(path);
    return text;
}

static int country_position(const char *key)
{
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++)
        if (strcmp(country_key_of(&CATALOGUE_COUNTRIES[i]), key) == 0)
            return i;
    return -1;
}

struct ExpectedCountry {
    const char *key;
    const char *name;
    int32_t count;
};

static const ExpectedCountry EXPECTED_COUNTRIES[CATALOGUE_COUNTRY_COUNT] = {
    {"russia", "Россия", 1290}, {"australia", "Австралия", 17}, {"austria", "Австрия", 96},
    {"bahamas", "Багамские острова", 1}, {"barbados", "Барбадос", 1}, {"belarus", "Белоруссия", 30},
    {"islands-bermudskie", "Бермудские острова", 1}, {"bulgaria", "Болгария", 31},
    {"brazil", "Бразилия", 133}, {"the-hawaiian-islands", "Гавайские острова", 3},
    {"haiti", "Гаити", 1}, {"germany", "Германия", 149}, {"greece", "Греция", 20},
    {"denmark", "Дания", 7}, {"egypt", "Египет", 18}, {"israel", "Израиль", 5},
    {"india", "Индия", 73}, {"indonesia", "Индонезия", 20}, {"spain", "Испания", 40},
    {"italy", "Италия", 51}, {"kazakhstan", "Казахстан", 133}, {"canada", "Канада", 218},
    {"cyprus", "Кипр", 3}, {"china", "Китай", 156}, {"cuba", "Куба", 15},
    {"madagascar", "Мадагаскар", 22}, {"maldives", "Мальдивы", 3}, {"mexico", "Мексика", 61},
    {"moldova", "Молдавия", 11}, {"mongolia", "Монголия", 40}, {"new-zealand", "Новая Зенландия", 4},
    {"norway", "Норвегия", 100}, {"arab-emirates", "Объединенные Арабские Эмираты", 6},
    {"russia", "Россия", 1290}, {"romania", "Румыния", 48}, {"usa", "США", 160},
    {"saudi-arabia", "Саудовская Аравия", 29}, {"tajland", "Таиланд", 34}, {"turkey", "Турция", 43},
    {"ukraine", "Украина", 115}, {"fidji", "Фиджи", 1}, {"finland", "Финляндия", 43},
    {"france", "Франция", 61}, {"czechia", "Чехия", 20}, {"switzerland", "Швейцария", 3},
    {"sweden", "Швеция", 79}, {"yugoslavia", "Югославия", 37},
    {"the-republic-of-south-africa", "Южно-Африканская республика", 79}, {"jamaica", "Ямайка", 2},
    {"japan", "Япония", 49},
};

static const char *const REGION_KEYS[85] = {
    "aginsky-burjatskij-ar", "altai-territory", "amur-area", "arkhangelsk-area", "astrakhan-area",
    "belgorod-area", "bryansk-area", "chechen-republic", "chelyabinsk-area", "chita-area",
    "chukotskij-ar", "chuvash-republic", "evenkijskij-ar", "hanty-mansijskij-ar", "irkutsk-area",
    "ivanovo-area", "jamalo-nenetskij-ar", "kaliningrad-area", "kaluga-area", "kamchatka-area",
    "kemerovo-area", "khabarovsk-territory", "kirov-area", "korjakskij-ar", "kostroma-area",
    "krasnodar-territory", "krasnoyarsk-territory", "kurgan-area", "kursk-area", "leningrad-region",
    "lipetsk-area", "magadan-area", "moscow-area", "murmansk-area", "nenetskij-ar",
    "nizhegorodskaya-area", "novgorod-area", "novosibirsk-area", "omsk-area", "orenburg-area",
    "oryol-area", "penza-area", "perm-area", "primorski-krai", "pskov-area", "republic-adygea",
    "republic-altai", "republic-bashkortostan", "republic-buryatiya", "republic-dagestan",
    "republic-ingushetia", "republic-kabardino-balkaria", "republic-kalmykia",
    "republic-karachaevo-circassia", "republic-karelia", "republic-khakassia", "republic-komi",
    "republic-mary-el", "republic-mordovia", "republic-northern-ossetia", "republic-saha-yakutia",
    "republic-tatarstan", "republic-tyva", "republic-udmurtia", "rostov-area", "ryazan-area",
    "sakhalin-area", "samara-area", "saratov-area", "smolensk-area", "stavropol-territory",
    "sverdlovsk-area", "tajmyrsky-dolgano-nenets", "tambov-area", "tomsk-area", "tula-area",
    "tver-area", "tyumen-area", "ulyanovsk-area", "ust-ordynsky-burjatskij-ar", "vladimir-area",
    "volgograd-area", "vologda-area", "voronezh-area", "yaroslavl-area",
};

static void check_row(const char *country_key, int32_t position, const char *region,
                      const char *city_key, const char *name_utf8)
{
    int country = country_position(country_key);
    REQUIRE(country >= 0);
    const CityEntry *row = catalogue_city(country, position);
    REQUIRE(row != nullptr);
    CHECK(std::string(region_key_of(row)) == region);
    CHECK(std::string(city_key_of(row)) == city_key);
    CHECK(std::string(city_name_of(row)) == cp1251(name_utf8));
}

// Lower-case ASCII letters and digits in words joined by single hyphens.
static bool key_is_well_formed(const char *key, bool digits_allowed)
{
    size_t n = strlen(key);
    if (n == 0 || key[0] == '-' || key[n - 1] == '-')
        return false;
    for (size_t i = 0; i < n; i++) {
        char c = key[i];
        bool ok = (c >= 'a' && c <= 'z') || c == '-' || (digits_allowed && c >= '0' && c <= '9');
        if (!ok || (c == '-' && key[i + 1] == '-'))
            return false;
    }
    return true;
}

TEST_CASE("the country list holds the 50 entries in their stored order")
{
    int32_t total = 0;
    std::set<const CityEntry *> tables;
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry &c = CATALOGUE_COUNTRIES[i];
        CAPTURE(i);
        CHECK(std::string(country_key_of(&c)) == EXPECTED_COUNTRIES[i].key);
        CHECK(std::string(country_name_of(&c)) == cp1251(EXPECTED_COUNTRIES[i].name));
        CHECK(c.city_count == EXPECTED_COUNTRIES[i].count);
        CHECK(strlen(country_key_of(&c)) <= CATALOGUE_COUNTRY_KEY_MAX);
        CHECK(strlen(country_name_of(&c)) <= CATALOGUE_COUNTRY_NAME_MAX);
        CHECK(key_is_well_formed(country_key_of(&c), false));
        REQUIRE(c.cities != nullptr);
        if (tables.insert(c.cities).second)
            total += c.city_count;
    }
    // Russia stands at 0 and again at 33 with one table: 49 tables in all.
    CHECK(CATALOGUE_COUNTRIES[0].cities == CATALOGUE_COUNTRIES[33].cities);
    CHECK(tables.size() == 49);
    CHECK(total == 3562);
}

TEST_CASE("rows whose positions are known keep them")
{
    check_row("russia", 0, "moscow-area", "moscow", "Москва");
    check_row("russia", 1, "leningrad-region", "sankt-peterburg", "Санкт-Петербург");
    check_row("russia", 2, "republic-khakassia", "abakan", "Абакан");
    check_row("russia", 9, "krasnoyarsk-territory", "aginskoe", "Агинское");
    check_row("russia", 10, "aginsky-burjatskij-ar", "aginskoe2", "Агинское");
    check_row("russia", 627, "moscow-area", "moscow", "Москва");
    check_row("russia", 890, "leningrad-region", "sankt-peterburg", "Санкт-Петербург");
    check_row("russia", 1289, "kemerovo-area", "jaja", "Яя");
    check_row("brazil", 0, "", "altamira", "Алтамира");
    check_row("bahamas", 0, "", "nassau", "Нассау");
    check_row("ukraine", 45, "", "kovel", "Ковель");
    check_row("ukraine", 46, "", "kovel", "Ковель");
}

TEST_CASE("keys and names stay within what the service and the lists take")
{
    int digit_keys = 0;
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry &c = CATALOGUE_COUNTRIES[i];
        if (i == 33)
            continue;  // the same table as position 0
        for (int32_t j = 0; j < c.city_count; j++) {
            const CityEntry &row = c.cities[j];
            CAPTURE(country_key_of(&c));
            CAPTURE(city_key_of(&row));
            CHECK(key_is_well_formed(city_key_of(&row), true));
            CHECK(strlen(city_key_of(&row)) <= CATALOGUE_CITY_KEY_MAX);
            CHECK(strlen(region_key_of(&row)) <= CATALOGUE_REGION_KEY_MAX);
            size_t name_length = strlen(city_name_of(&row));
            CHECK(name_length > 0);
            CHECK(name_length <= CATALOGUE_CITY_NAME_MAX);
            // Names are Cyrillic words (code page 1251 letters) joined by a
            // space or a hyphen.
            for (size_t k = 0; k < name_length; k++) {
                unsigned char b = (unsigned char)city_name_of(&row)[k];
                CHECK((b >= 0xC0 || b == 0xA8 || b == 0xB8 || b == ' ' || b == '-'));
            }
            char last = city_key_of(&row)[strlen(city_key_of(&row)) - 1];
            if (last >= '0' && last <= '9')
                digit_keys++;
        }
    }
    CHECK(digit_keys == 36);
}

TEST_CASE("Russia's rows carry the 85 region keys, every one of them used; no other row has one")
{
    std::set<std::string> known(REGION_KEYS, REGION_KEYS + 85);
    REQUIRE(known.size() == 85);
    std::set<std::string> used;
    const CountryEntry &russia = CATALOGUE_COUNTRIES[0];
    for (int32_t j = 0; j < russia.city_count; j++) {
        CAPTURE(city_key_of(&russia.cities[j]));
        CHECK(known.count(region_key_of(&russia.cities[j])) == 1);
        used.insert(region_key_of(&russia.cities[j]));
    }
    CHECK(used.size() == 85);
    for (int i = 1; i < CATALOGUE_COUNTRY_COUNT; i++) {
        if (i == 33)
            continue;
        const CountryEntry &c = CATALOGUE_COUNTRIES[i];
        for (int32_t j = 0; j < c.city_count; j++) {
            CAPTURE(city_key_of(&c.cities[j]));
            CHECK(region_key_of(&c.cities[j])[0] == '\0');
        }
    }
}

TEST_CASE("tables are in the order of their names; Russia's after its two head rows")
{
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry &c = CATALOGUE_COUNTRIES[i];
        int32_t start = strcmp(country_key_of(&c), "russia") == 0 ? 2 : 0;
        for (int32_t j = start + 1; j < c.city_count; j++) {
            CAPTURE(country_key_of(&c));
            CAPTURE(j);
            CHECK(order_key(city_name_of(&c.cities[j - 1])) <= order_key(city_name_of(&c.cities[j])));
        }
    }
    // The head rows stand again in their places.
    const CityEntry *russia = CATALOGUE_COUNTRIES[0].cities;
    for (int j = 0; j < 2; j++) {
        int copies = 0;
        for (int32_t k = 2; k < CATALOGUE_COUNTRIES[0].city_count; k++)
            if (strcmp(city_key_of(&russia[k]), city_key_of(&russia[j])) == 0 &&
                strcmp(region_key_of(&russia[k]), region_key_of(&russia[j])) == 0 &&
                strcmp(city_name_of(&russia[k]), city_name_of(&russia[j])) == 0)
                copies++;
        CHECK(copies == 1);
    }
}

TEST_CASE("a key names one place of its country: repeats are the same row listed twice")
{
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry &c = CATALOGUE_COUNTRIES[i];
        for (int32_t j = 0; j < c.city_count; j++)
            for (int32_t k = j + 1; k < c.city_count; k++) {
                if (strcmp(city_key_of(&c.cities[j]), city_key_of(&c.cities[k])) != 0)
                    continue;
                CAPTURE(country_key_of(&c));
                CAPTURE(city_key_of(&c.cities[j]));
                CHECK(strcmp(city_name_of(&c.cities[j]), city_name_of(&c.cities[k])) == 0);
                CHECK(strcmp(region_key_of(&c.cities[j]), region_key_of(&c.cities[k])) == 0);
            }
    }
}

TEST_CASE("location paths of positions")
{
    CHECK(path_at(0, 0) == "russia/moscow-area/moscow");
    CHECK(path_at(33, 0) == "russia/moscow-area/moscow");
    CHECK(path_at(0, 627) == "russia/moscow-area/moscow");
    CHECK(path_at(0, 1) == "russia/leningrad-region/sankt-peterburg");
    CHECK(path_at(0, 9) == "russia/krasnoyarsk-territory/aginskoe");
    CHECK(path_at(0, 10) == "russia/aginsky-burjatskij-ar/aginskoe2");
    CHECK(path_at(33, 1289) == "russia/kemerovo-area/jaja");
    CHECK(path_at(8, 0) == "brazil//altamira");
    CHECK(path_at(3, 0) == "bahamas//nassau");
    CHECK(path_at(39, 46) == "ukraine//kovel");
    int usa = country_position("usa");
    CHECK(path_at(usa, 0) == std::string("usa//") + city_key_of(&CATALOGUE_COUNTRIES[usa].cities[0]));
}

TEST_CASE("a position beyond its list counts as position 0 for the path")
{
    // A stored country position beyond the list leaves both lists without a
    // selection (-1): the path is the first city of the first country.
    CHECK(path_at(50, 0) == "russia/moscow-area/moscow");
    CHECK(path_at(-1, -1) == "russia/moscow-area/moscow");
    // Without a country there is no city list, whatever the city position.
    CHECK(path_at(1000000, 5) == "russia/moscow-area/moscow");
    CHECK(path_at(50, 1) == "russia/moscow-area/moscow");
    // A stored city position beyond the selected country's table.
    CHECK(path_at(8, 133) == "brazil//altamira");
    CHECK(path_at(8, -1) == "brazil//altamira");
    CHECK(path_at(3, 1) == "bahamas//nassau");
    CHECK(path_at(0, 1290) == "russia/moscow-area/moscow");
    CHECK(path_at(0, INT32_MAX) == "russia/moscow-area/moscow");
    CHECK(path_at(INT32_MIN, INT32_MIN) == "russia/moscow-area/moscow");
    // The lookups tell positions outside the lists apart.
    CHECK(catalogue_country(50) == nullptr);
    CHECK(catalogue_country(-1) == nullptr);
    CHECK(catalogue_city(8, 133) == nullptr);
    CHECK(catalogue_city(8, 132) != nullptr);
    CHECK(catalogue_city(50, 0) == nullptr);
}

TEST_CASE("the countries with one city")
{
    const int single[] = {3, 4, 6, 10, 40};
    int count = 0;
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++)
        if (CATALOGUE_COUNTRIES[i].city_count == 1)
            count++;
    CHECK(count == 5);
    for (int i : single)
        CHECK(CATALOGUE_COUNTRIES[i].city_count == 1);
}

// Where some places are in the world, to a tenth of a degree: the two cities
// that head Russia's table, places far apart in every quarter of the globe,
// and the two Aksays that only their regions tell apart.
TEST_CASE("places lie where they are in the world")
{
    struct Known {
        const char *country_key;
        int32_t position;
        double latitude;
        double longitude;
    };
    const Known known[] = {
        {"russia", 0, 55.75, 37.62},       // Москва
        {"russia", 627, 55.75, 37.62},     // Москва again
        {"russia", 1, 59.94, 30.31},       // Санкт-Петербург
        {"russia", 18, 47.26, 39.87},      // Аксай, Rostov region
        {"russia", 19, 43.37, 46.45},      // Аксай, Dagestan
        {"russia", 1289, 56.20, 86.43},    // Яя
        {"bahamas", 0, 25.06, -77.35},     // Нассау
        {"fidji", 0, -18.14, 178.44},      // Сува
        {"ukraine", 45, 51.21, 24.71},     // Ковель
        {"ukraine", 46, 51.21, 24.71},     // Ковель again
    };
    for (const Known &k : known) {
        CAPTURE(k.country_key);
        CAPTURE(k.position);
        const CityEntry *row = catalogue_city(country_position(k.country_key), k.position);
        REQUIRE(row != nullptr);
        CHECK(std::abs(row->latitude_e4 - k.latitude * CATALOGUE_COORDINATE_SCALE) <= 1000);
        CHECK(std::abs(row->longitude_e4 - k.longitude * CATALOGUE_COORDINATE_SCALE) <= 1000);
    }
    check_row("russia", 18, "rostov-area", "aksaj", "Аксай");
    check_row("russia", 19, "republic-dagestan", "aksaj2", "Аксай");

    // By key where the position is not fixed: Yakutsk, Sydney, New York.
    struct ByKey {
        const char *country_key;
        const char *city_key;
        double latitude;
        double longitude;
    };
    const ByKey by_key[] = {
        {"russia", "jakutsk", 62.03, 129.73},
        {"australia", "sydney", -33.87, 151.21},
        {"usa", "new-york", 40.71, -74.01},
    };
    for (const ByKey &k : by_key) {
        CAPTURE(k.city_key);
        const CountryEntry *c = catalogue_country(country_position(k.country_key));
        REQUIRE(c != nullptr);
        const CityEntry *row = nullptr;
        for (int32_t j = 0; j < c->city_count && !row; j++)
            if (strcmp(city_key_of(&c->cities[j]), k.city_key) == 0)
                row = &c->cities[j];
        REQUIRE(row != nullptr);
        CHECK(std::abs(row->latitude_e4 - k.latitude * CATALOGUE_COORDINATE_SCALE) <= 1000);
        CHECK(std::abs(row->longitude_e4 - k.longitude * CATALOGUE_COORDINATE_SCALE) <= 1000);
    }
}

TEST_CASE("every row has a position in range; the two rows of one place share it")
{
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry &c = CATALOGUE_COUNTRIES[i];
        for (int32_t j = 0; j < c.city_count; j++) {
            const CityEntry &row = c.cities[j];
            CAPTURE(country_key_of(&c));
            CAPTURE(city_key_of(&row));
            // 0, 0 is open sea: a row the data left without coordinates.
            CHECK((row.latitude_e4 != 0 || row.longitude_e4 != 0));
            CHECK(std::abs(row.latitude_e4) <= 90 * CATALOGUE_COORDINATE_SCALE);
            CHECK(std::abs(row.longitude_e4) <= 180 * CATALOGUE_COORDINATE_SCALE);
            for (int32_t k = j + 1; k < c.city_count; k++)
                if (strcmp(city_key_of(&row), city_key_of(&c.cities[k])) == 0) {
                    CHECK(row.latitude_e4 == c.cities[k].latitude_e4);
                    CHECK(row.longitude_e4 == c.cities[k].longitude_e4);
                }
        }
    }
}

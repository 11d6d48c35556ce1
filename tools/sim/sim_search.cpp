// The simulator's place search: the JSON the real geocoding API answers,
// from the catalogue and a small table of places it does not hold.
#include "tools/sim/sim_search.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "settings/catalogue.h"
#include "settings/found_place.h"
#include "tools/place_text.h"
#include "tools/sim/sim_open_data.h"

namespace {

const char PATH[] = "/v1/search";

enum { QUERY_MAX = 256, COUNT_DEFAULT = 10, COUNT_MAX = 100 };

// Places the catalogue lacks: villages near Moscow, a few of each
// continent, Iceland's capital (a country outside the catalogue) and
// Łódź, whose letters code page 1251 shows only by their nearest plain ones.
struct ExtraPlace {
    const char *name;
    const char *latitude;
    const char *longitude;
    const char *country_code;
    const char *country;
    const char *admin1;
    int32_t population;  // -1: the API gives none
    const char *timezone;
};

const ExtraPlace EXTRA_PLACES[] = {
    {"Петрово-Дальнее", "55.7420", "37.1860", "RU", "Россия", "Московская область", -1, "Europe/Moscow"},
    {"Жаворонки", "55.6448", "37.1048", "RU", "Россия", "Московская область", 7132, "Europe/Moscow"},
    {"Немчиновка", "55.7159", "37.3721", "RU", "Россия", "Московская область", 4152, "Europe/Moscow"},
    {"Лесной Городок", "55.6453", "37.2117", "RU", "Россия", "Московская область", 6905, "Europe/Moscow"},
    {"Рейкьявик", "64.1355", "-21.8954", "IS", "Исландия", "Столичный регион", 118918, "Atlantic/Reykjavik"},
    {"Найроби", "-1.2833", "36.8167", "KE", "Кения", "Найроби", 2750547, "Africa/Nairobi"},
    {"Лима", "-12.0432", "-77.0282", "PE", "Перу", "Лима", 7737002, "America/Lima"},
    {"Кито", "-0.2298", "-78.5250", "EC", "Эквадор", "Пичинча", 1399814, "America/Guayaquil"},
    {"Алис-Спрингс", "-23.6980", "133.8807", "AU", "Австралия", "Северная территория", 23726,
     "Australia/Darwin"},
    {"Фэрбанкс", "64.8378", "-147.7164", "US", "США", "Аляска", 31535, "America/Anchorage"},
    {"Луангпхабанг", "19.8856", "102.1347", "LA", "Лаос", "Луангпхабанг", 47378, "Asia/Vientiane"},
    {"Łódź", "51.7592", "19.4560", "PL", "Польша", "Лодзинское воеводство", 768755, "Europe/Warsaw"},
};

// The next code point of a UTF-8 text (0 at its end); a broken byte is
// taken as it stands.
uint32_t next_code(const unsigned char **at)
{
    const unsigned char *p = *at;
    if (*p == 0)
        return 0;
    uint32_t code = *p++;
    int follow = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
    if (follow > 0)
        code &= 0x3Fu >> follow;
    for (; follow > 0 && (*p & 0xC0) == 0x80; follow--)
        code = (code << 6) | (*p++ & 0x3Fu);
    *at = p;
    return code;
}

// Lower case for the letters the places' names use: Latin, Latin-1 and
// Latin Extended-A (Ł), Cyrillic with Ё.
uint32_t lower_code(uint32_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if ((c >= 0x100 && c <= 0x137 && c % 2 == 0) || (c >= 0x139 && c <= 0x148 && c % 2 == 1) ||
        (c >= 0x14A && c <= 0x177 && c % 2 == 0))
        return c + 1;
    return c;
}

int begins_with(const char *name, const char *query)
{
    const unsigned char *n = (const unsigned char *)name, *q = (const unsigned char *)query;
    for (;;) {
        uint32_t want = next_code(&q);
        if (want == 0)
            return 1;
        if (lower_code(next_code(&n)) != lower_code(want))
            return 0;
    }
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A query value with %HH and '+' (a space) undone, in place.
void percent_decode(char *text)
{
    char *out = text;
    for (const char *p = text; *p; p++) {
        int high, low;
        if (*p == '%' && (high = hex_digit(p[1])) >= 0 && (low = hex_digit(p[2])) >= 0) {
            *out++ = (char)(high * 16 + low);
            p += 2;
        } else {
            *out++ = *p == '+' ? ' ' : *p;
        }
    }
    *out = 0;
}

std::string degrees_text(int32_t value_e4)
{
    char text[24];
    int32_t magnitude = value_e4 < 0 ? -value_e4 : value_e4;
    snprintf(text, sizeof text, "%s%d.%04d", value_e4 < 0 ? "-" : "", (int)(magnitude / 10000),
             (int)(magnitude % 10000));
    return text;
}

void add_entry(std::string *results, int32_t id, const char *name, const std::string &latitude,
               const std::string &longitude, const char *code, const char *country, const char *admin1,
               int32_t population, const char *timezone)
{
    *results += results->empty() ? "" : ",";
    *results += "{\"id\":" + std::to_string(id) + ",\"name\":\"" + name + "\",\"latitude\":" + latitude +
                ",\"longitude\":" + longitude + ",\"feature_code\":\"PPL\",\"country_code\":\"" + code + "\"";
    if (timezone != NULL)
        *results += std::string(",\"timezone\":\"") + timezone + "\"";
    if (population >= 0)
        *results += ",\"population\":" + std::to_string(population);
    *results += std::string(",\"country\":\"") + country + "\"";
    if (admin1 != NULL && admin1[0] != 0)
        *results += std::string(",\"admin1\":\"") + admin1 + "\"";
    *results += "}";
}

int first_of_key(int32_t position)
{
    for (int32_t i = 0; i < position; i++) {
        if (strcmp(country_key_of(&CATALOGUE_COUNTRIES[i]), country_key_of(&CATALOGUE_COUNTRIES[position])) == 0)
            return 0;
    }
    return 1;
}

} // namespace

int sim_search_route(const char *target)
{
    const char *path = target;
    if (strncasecmp(path, "http://", 7) == 0 && (path = strchr(path + 7, '/')) == NULL)
        return 0;
    size_t n = strlen(PATH);
    return strncmp(path, PATH, n) == 0 && (path[n] == 0 || path[n] == '?');
}

char *sim_search_respond(const char *target, int head_only, int *status, int32_t *length)
{
    char query[QUERY_MAX];
    if (!sim_query_value(target, "name", query, sizeof query) || query[0] == 0) {
        static const char REQUIRED[] = "{\"error\":true,\"reason\":\"Parameter 'name' is required\"}";
        *status = 400;
        return sim_json_response(400, "Bad Request", REQUIRED, sizeof REQUIRED - 1, head_only, length);
    }
    percent_decode(query);
    // As the real API: a single letter finds nothing.
    const unsigned char *second = (const unsigned char *)query;
    next_code(&second);
    char count_text[16];
    int count = COUNT_DEFAULT;
    if (sim_query_value(target, "count", count_text, sizeof count_text))
        count = atoi(count_text);
    if (count < 1)
        count = 1;
    if (count > COUNT_MAX)
        count = COUNT_MAX;

    std::string results;
    int found = 0;
    if (*second == 0)
        count = 0;
    for (const ExtraPlace &place : EXTRA_PLACES) {
        if (found < count && begins_with(place.name, query)) {
            found++;
            add_entry(&results, 9000000 + found, place.name, place.latitude, place.longitude, place.country_code,
                      place.country, place.admin1, place.population, place.timezone);
        }
    }
    for (int32_t i = 0; i < CATALOGUE_COUNTRY_COUNT && found < count; i++) {
        const CountryEntry *country = &CATALOGUE_COUNTRIES[i];
        if (!first_of_key(i))
            continue;  // Russia's second entry: the same table
        char country_name[2 * CATALOGUE_COUNTRY_NAME_MAX + 1];
        catalogue_name_utf8(country_name_of(country), country_name, sizeof country_name);
        for (int32_t j = 0; j < country->city_count && found < count; j++) {
            const CityEntry *city = &country->cities[j];
            char name[2 * CATALOGUE_CITY_NAME_MAX + 1];
            catalogue_name_utf8(city_name_of(city), name, sizeof name);
            if (!begins_with(name, query))
                continue;
            found++;
            add_entry(&results, i * 10000 + j, name, degrees_text(city->latitude_e4), degrees_text(city->longitude_e4),
                      catalogue_country_code(i), country_name, NULL, -1, NULL);
        }
    }
    std::string body = found > 0 ? "{\"results\":[" + results + "],\"generationtime_ms\":0.1}"
                                 : "{\"generationtime_ms\":0.1}";
    *status = 200;
    return sim_json_response(200, "OK", body.data(), body.size(), head_only, length);
}

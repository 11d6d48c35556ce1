// velvane-catalogue: prints the built-in location catalogue, display names
// in UTF-8.
//
//   velvane-catalogue countries
//       pos<TAB>country_key<TAB>display_name<TAB>city_count, for each of the
//       50 entries of the country list
//   velvane-catalogue cities
//       country_pos<TAB>city_pos<TAB>region_key<TAB>city_key<TAB>display_name
//       <TAB>location_path, for every row of every country's table
//   velvane-catalogue coordinates
//       country_pos<TAB>city_pos<TAB>latitude<TAB>longitude in decimal
//       degrees with four decimals, for every row of every country's table
//   velvane-catalogue match CODE LAT LON NAME
//       the location path of the catalogue place that a place found by name
//       is (ISO country code, decimal degrees, the name in UTF-8), or "-"
#include "settings/catalogue.h"
#include "tools/place_text.h"
#include "util/mem.h"

#include <stdio.h>
#include <string.h>

// A catalogue name printed in UTF-8.
static void put_utf8(const char *text)
{
    char utf8[2 * CATALOGUE_COUNTRY_NAME_MAX + 2 * CATALOGUE_CITY_NAME_MAX + 1];
    catalogue_name_utf8(text, utf8, sizeof utf8);
    fputs(utf8, stdout);
}

static void print_countries(void)
{
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry *c = &CATALOGUE_COUNTRIES[i];
        printf("%d\t%s\t", i, country_key_of(c));
        put_utf8(country_name_of(c));
        printf("\t%d\n", (int)c->city_count);
    }
}

static int print_cities(void)
{
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry *c = &CATALOGUE_COUNTRIES[i];
        for (int32_t j = 0; j < c->city_count; j++) {
            const CityEntry *row = &c->cities[j];
            char *path = location_path_at(i, j);
            if (!path) {
                fprintf(stderr, "velvane-catalogue: out of memory\n");
                return 1;
            }
            printf("%d\t%d\t%s\t%s\t", i, (int)j, region_key_of(row), city_key_of(row));
            put_utf8(city_name_of(row));
            printf("\t%s\n", path);
            mem_free(path);
        }
    }
    return 0;
}

static void print_coordinates(void)
{
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry *c = &CATALOGUE_COUNTRIES[i];
        for (int32_t j = 0; j < c->city_count; j++) {
            printf("%d\t%d\t", i, (int)j);
            print_degrees(stdout, c->cities[j].latitude_e4);
            putchar('\t');
            print_degrees(stdout, c->cities[j].longitude_e4);
            putchar('\n');
        }
    }
}

// Decimal degrees ("-57.1", "45.00464") as degrees times 10000, half away
// from zero, read digit by digit whatever the locale; 0 for other text or
// beyond limit_e4.
static int parse_degrees(const char *text, int32_t limit_e4, int32_t *value_e4)
{
    int negative = *text == '-';
    if (*text == '-' || *text == '+')
        text++;
    int64_t scaled = 0;
    int digits = 0, decimals = -1, round_up = 0, too_big = 0;
    for (; *text; text++) {
        if (*text == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (*text < '0' || *text > '9')
            return 0;
        digits++;
        if (decimals < 0) {
            too_big |= scaled >= 1000;
            scaled = too_big ? scaled : scaled * 10 + (*text - '0');
        } else if (decimals >= 0 && decimals < 4) {
            scaled = scaled * 10 + (*text - '0');
            decimals++;
        } else if (decimals == 4) {
            round_up = *text >= '5';
            decimals++;
        }
    }
    if (digits == 0 || too_big)
        return 0;
    for (int d = decimals < 0 ? 0 : decimals; d < 4; d++)
        scaled *= 10;
    scaled += round_up;
    if (scaled > limit_e4)
        return 0;
    *value_e4 = (int32_t)(negative ? -scaled : scaled);
    return 1;
}

static int print_match(char **argv)
{
    FoundPlace place;
    memset(&place, 0, sizeof place);
    if (strlen(argv[2]) != 2 || strlen(argv[5]) >= sizeof place.name ||
        !parse_degrees(argv[3], 900000, &place.latitude_e4) || !parse_degrees(argv[4], 1800000, &place.longitude_e4)) {
        fprintf(stderr, "usage: velvane-catalogue match CODE LAT LON NAME\n");
        return 2;
    }
    memcpy(place.country_code, argv[2], 2);
    strcpy(place.name, argv[5]);
    char *path = found_place_catalogue_path(&place);
    printf("%s\n", path != NULL ? path : "-");
    mem_free(path);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "countries") == 0) {
        print_countries();
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "cities") == 0)
        return print_cities();
    if (argc == 2 && strcmp(argv[1], "coordinates") == 0) {
        print_coordinates();
        return 0;
    }
    if (argc == 6 && strcmp(argv[1], "match") == 0)
        return print_match(argv);
    fprintf(stderr, "usage: velvane-catalogue countries|cities|coordinates|match CODE LAT LON NAME\n");
    return 2;
}

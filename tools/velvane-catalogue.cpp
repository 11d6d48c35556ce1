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
#include "settings/catalogue.h"
#include "util/mem.h"

#include <stdio.h>
#include <string.h>

// Code page 1251 to UTF-8 for the letters the catalogue's names use: ASCII,
// the Cyrillic А..я block and Ё ё; anything else shows as '?'.
static void put_utf8(const char *text)
{
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        unsigned code;
        if (*p < 0x80)
            code = *p;
        else if (*p >= 0xC0)
            code = 0x410u + (*p - 0xC0u);
        else if (*p == 0xA8)
            code = 0x401u;
        else if (*p == 0xB8)
            code = 0x451u;
        else
            code = '?';
        if (code < 0x80) {
            putchar((int)code);
        } else {
            putchar((int)(0xC0u | (code >> 6)));
            putchar((int)(0x80u | (code & 0x3Fu)));
        }
    }
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

// Degrees times 10000 as decimal text with four decimals and a point,
// whatever the locale: the sign and the two parts are printed as integers.
static void put_degrees(int32_t value_e4)
{
    long magnitude = value_e4 < 0 ? -(long)value_e4 : (long)value_e4;
    printf("%s%ld.%04ld", value_e4 < 0 ? "-" : "", magnitude / CATALOGUE_COORDINATE_SCALE,
           magnitude % CATALOGUE_COORDINATE_SCALE);
}

static void print_coordinates(void)
{
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        const CountryEntry *c = &CATALOGUE_COUNTRIES[i];
        for (int32_t j = 0; j < c->city_count; j++) {
            printf("%d\t%d\t", i, (int)j);
            put_degrees(c->cities[j].latitude_e4);
            putchar('\t');
            put_degrees(c->cities[j].longitude_e4);
            putchar('\n');
        }
    }
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
    fprintf(stderr, "usage: velvane-catalogue countries|cities|coordinates\n");
    return 2;
}

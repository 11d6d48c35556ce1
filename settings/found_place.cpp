// Found places beside the catalogue: which catalogue place a found one is,
// the recent list, and the stored form of both lists.
#include "settings/found_place.h"

#include <math.h>
#include <string.h>

#include "settings/catalogue.h"

namespace {

// The ISO code of each catalogue country entry, by its key. A key may
// have more than one code (the catalogue's Yugoslavia holds places of
// Serbia, Montenegro and Kosovo); an entry that is only a part of its
// country (the Hawaiian islands) is not the entry of the code, though its
// places are places of that code.
struct CountryCode {
    const char *key;
    char code[3];
    uint8_t whole;
};

const CountryCode COUNTRY_CODES[] = {
    {"russia", "RU", 1},
    {"australia", "AU", 1},
    {"austria", "AT", 1},
    {"bahamas", "BS", 1},
    {"barbados", "BB", 1},
    {"belarus", "BY", 1},
    {"islands-bermudskie", "BM", 1},
    {"bulgaria", "BG", 1},
    {"brazil", "BR", 1},
    {"the-hawaiian-islands", "US", 0},
    {"haiti", "HT", 1},
    {"germany", "DE", 1},
    {"greece", "GR", 1},
    {"denmark", "DK", 1},
    {"egypt", "EG", 1},
    {"israel", "IL", 1},
    {"india", "IN", 1},
    {"indonesia", "ID", 1},
    {"spain", "ES", 1},
    {"italy", "IT", 1},
    {"kazakhstan", "KZ", 1},
    {"canada", "CA", 1},
    {"cyprus", "CY", 1},
    {"china", "CN", 1},
    {"cuba", "CU", 1},
    {"madagascar", "MG", 1},
    {"maldives", "MV", 1},
    {"mexico", "MX", 1},
    {"moldova", "MD", 1},
    {"mongolia", "MN", 1},
    {"new-zealand", "NZ", 1},
    {"norway", "NO", 1},
    {"arab-emirates", "AE", 1},
    {"romania", "RO", 1},
    {"usa", "US", 1},
    {"saudi-arabia", "SA", 1},
    {"tajland", "TH", 1},
    {"turkey", "TR", 1},
    {"ukraine", "UA", 1},
    {"fidji", "FJ", 1},
    {"finland", "FI", 1},
    {"france", "FR", 1},
    {"czechia", "CZ", 1},
    {"switzerland", "CH", 1},
    {"sweden", "SE", 1},
    {"yugoslavia", "RS", 1},
    {"yugoslavia", "ME", 1},
    {"yugoslavia", "XK", 1},
    {"the-republic-of-south-africa", "ZA", 1},
    {"jamaica", "JM", 1},
    {"japan", "JP", 1},
};

const double EARTH_RADIUS_METRES = 6371008.8;
const double PI = 3.14159265358979323846;

// Two ASCII letters, upper-cased into code; 0 for anything else.
int upper_code(const char *text, char code[3])
{
    if (text == NULL)
        return 0;
    for (int i = 0; i < 2; i++) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            return 0;
        code[i] = c;
    }
    code[2] = 0;
    return text[2] == 0;
}

// Whether the entry at a position is of that code (wholly, when whole).
int country_has_code(int32_t position, const char *code, int whole)
{
    const char *key = country_key_of(&CATALOGUE_COUNTRIES[position]);
    for (const CountryCode &row : COUNTRY_CODES) {
        if (strcmp(row.key, key) == 0 && strcmp(row.code, code) == 0 && (row.whole || !whole))
            return 1;
    }
    return 0;
}

// The first position of the entry's key: Russia stands twice in the list.
int32_t first_position_of_key(int32_t position)
{
    const char *key = country_key_of(&CATALOGUE_COUNTRIES[position]);
    for (int32_t i = 0; i < position; i++) {
        if (strcmp(country_key_of(&CATALOGUE_COUNTRIES[i]), key) == 0)
            return i;
    }
    return position;
}

// A code page 1251 letter with its case and "ё" set aside: lower case, "е"
// for either "ё". The Cyrillic letters outside А..я pair at fixed places.
unsigned char fold_letter(unsigned char c)
{
    static const unsigned char PAIRS[][2] = {
        {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F},
        {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
    };
    if (c >= 'A' && c <= 'Z')
        return (unsigned char)(c + 0x20);
    if (c >= 0xC0 && c <= 0xDF)
        return (unsigned char)(c + 0x20);
    if (c == 0xA8 || c == 0xB8)
        return 0xE5;
    for (const unsigned char *pair : PAIRS) {
        if (c == pair[0])
            return pair[1];
    }
    return c;
}

int same_name(const char *a, const char *b)
{
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
    while (*p != 0 && fold_letter(*p) == fold_letter(*q)) {
        p++;
        q++;
    }
    return *p == 0 && *q == 0;
}

double great_circle_metres(int32_t lat1_e4, int32_t lon1_e4, int32_t lat2_e4, int32_t lon2_e4)
{
    double to_radians = PI / 180.0 / CATALOGUE_COORDINATE_SCALE;
    double phi1 = lat1_e4 * to_radians, phi2 = lat2_e4 * to_radians;
    double half_dphi = (phi2 - phi1) / 2, half_dlambda = (double)(lon2_e4 - lon1_e4) * to_radians / 2;
    double h = sin(half_dphi) * sin(half_dphi) + cos(phi1) * cos(phi2) * sin(half_dlambda) * sin(half_dlambda);
    if (h > 1.0)
        h = 1.0;
    return 2.0 * EARTH_RADIUS_METRES * asin(sqrt(h));
}

// Length of a text within room bytes, or -1 when it has no terminator there.
int32_t bounded_length(const char *text, uint32_t room)
{
    const void *end = memchr(text, 0, room);
    return end != NULL ? (int32_t)((const char *)end - text) : -1;
}

void put_int32(uint8_t *at, int32_t value)
{
    uint32_t v = (uint32_t)value;
    for (int i = 0; i < 4; i++)
        at[i] = (uint8_t)(v >> (8 * i));
}

int32_t get_int32(const uint8_t *at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++)
        v |= (uint32_t)at[i] << (8 * i);
    return (int32_t)v;
}

enum { STORED_VERSION = 1, STORED_FIGURES = 12 };

// One text into room from the stored bytes at *at; 0 when it is cut or too long.
int take_text(const uint8_t *bytes, uint32_t size, uint32_t *at, char *room)
{
    uint32_t left = size - *at;
    int32_t length = bounded_length((const char *)bytes + *at, left < (uint32_t)FOUND_TEXT_SIZE ? left : (uint32_t)FOUND_TEXT_SIZE);
    if (length < 0)
        return 0;
    memcpy(room, bytes + *at, (size_t)length + 1);
    *at += (uint32_t)length + 1;
    return 1;
}

} // namespace

int32_t catalogue_country_of_code(const char *country_code)
{
    char code[3];
    if (!upper_code(country_code, code))
        return -1;
    for (int32_t i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        if (country_has_code(i, code, 1))
            return i;
    }
    return -1;
}

const char *catalogue_country_code(int32_t country_position)
{
    if (country_position < 0 || country_position >= CATALOGUE_COUNTRY_COUNT)
        return NULL;
    const char *key = country_key_of(&CATALOGUE_COUNTRIES[country_position]);
    for (const CountryCode &row : COUNTRY_CODES) {
        if (strcmp(row.key, key) == 0)
            return row.code;
    }
    return NULL;
}

int found_place_catalogue_match(const FoundPlace *place, int32_t *country_position, int32_t *city_position)
{
    char code[3];
    if (place == NULL || !upper_code(place->country_code, code))
        return 0;
    double best = 0;
    int found = 0;
    for (int32_t i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        if (first_position_of_key(i) != i || !country_has_code(i, code, 0))
            continue;
        const CountryEntry *country = &CATALOGUE_COUNTRIES[i];
        for (int32_t j = 0; j < country->city_count; j++) {
            const CityEntry *city = &country->cities[j];
            if (!same_name(place->name, city_name_of(city)))
                continue;
            double metres = great_circle_metres(place->latitude_e4, place->longitude_e4, city->latitude_e4,
                                                city->longitude_e4);
            if (metres <= FOUND_MATCH_METRES && (!found || metres < best)) {
                best = metres;
                found = 1;
                *country_position = i;
                *city_position = j;
            }
        }
    }
    return found;
}

int found_place_same(const FoundPlace *a, const FoundPlace *b)
{
    return strcmp(a->name, b->name) == 0 && a->latitude_e4 == b->latitude_e4 && a->longitude_e4 == b->longitude_e4;
}

void found_recent_add(FoundPlaceList *recent, const FoundPlace *place)
{
    FoundPlace added = *place;  // place may be one of the list's own
    int32_t count = recent->count < 0 ? 0 : recent->count;
    if (count > FOUND_RECENT_MAX)
        count = FOUND_RECENT_MAX;
    int32_t kept = 0;
    for (int32_t i = 0; i < count; i++) {
        if (!found_place_same(&recent->places[i], &added))
            recent->places[kept++] = recent->places[i];
    }
    if (kept == FOUND_RECENT_MAX)
        kept--;
    memmove(&recent->places[1], &recent->places[0], (size_t)kept * sizeof recent->places[0]);
    recent->places[0] = added;
    recent->count = kept + 1;
}

uint32_t found_places_encode(const FoundPlaceList *list, uint8_t *bytes, uint32_t size)
{
    if (list == NULL || list->count < 0 || list->count > FOUND_RECENT_MAX || size < 2)
        return 0;
    uint32_t at = 0;
    bytes[at++] = STORED_VERSION;
    bytes[at++] = (uint8_t)list->count;
    for (int32_t i = 0; i < list->count; i++) {
        const FoundPlace *place = &list->places[i];
        if (size - at < STORED_FIGURES + 2)
            return 0;
        put_int32(bytes + at, place->latitude_e4);
        put_int32(bytes + at + 4, place->longitude_e4);
        put_int32(bytes + at + 8, place->population);
        at += STORED_FIGURES;
        char code[3];
        int has_code = upper_code(place->country_code, code);
        bytes[at++] = has_code ? (uint8_t)code[0] : 0;
        bytes[at++] = has_code ? (uint8_t)code[1] : 0;
        const char *texts[3] = {place->name, place->region, place->country};
        for (const char *text : texts) {
            int32_t length = bounded_length(text, FOUND_TEXT_SIZE);
            if (length < 0 || size - at < (uint32_t)length + 1)
                return 0;
            memcpy(bytes + at, text, (size_t)length + 1);
            at += (uint32_t)length + 1;
        }
    }
    return at;
}

int found_places_decode(const uint8_t *bytes, uint32_t size, FoundPlaceList *list)
{
    if (bytes == NULL || list == NULL || size < 2 || bytes[0] != STORED_VERSION || bytes[1] > FOUND_RECENT_MAX)
        return 0;
    FoundPlaceList read;
    memset(&read, 0, sizeof read);
    read.count = bytes[1];
    uint32_t at = 2;
    for (int32_t i = 0; i < read.count; i++) {
        FoundPlace *place = &read.places[i];
        if (size - at < STORED_FIGURES + 2)
            return 0;
        place->latitude_e4 = get_int32(bytes + at);
        place->longitude_e4 = get_int32(bytes + at + 4);
        place->population = get_int32(bytes + at + 8);
        at += STORED_FIGURES;
        char code[3] = {(char)bytes[at], (char)bytes[at + 1], 0};
        at += 2;
        if (code[0] != 0 || code[1] != 0) {
            if (code[0] < 'A' || code[0] > 'Z' || code[1] < 'A' || code[1] > 'Z')
                return 0;
            memcpy(place->country_code, code, sizeof code);
        }
        if (!take_text(bytes, size, &at, place->name) || !take_text(bytes, size, &at, place->region) ||
            !take_text(bytes, size, &at, place->country))
            return 0;
        if (place->name[0] == 0 || place->latitude_e4 < -900000 || place->latitude_e4 > 900000 ||
            place->longitude_e4 < -1800000 || place->longitude_e4 > 1800000 || place->population < -1)
            return 0;
    }
    if (at != size)
        return 0;
    *list = read;
    return 1;
}

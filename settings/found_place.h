// Places found by name (fetch/geocoding_parser.h) and kept: the rule that
// tells a found place that is a catalogue place, and the stored form of the
// chosen place and of the recent ones. Texts in code page 1251.
#ifndef VELVANE_SETTINGS_FOUND_PLACE_H
#define VELVANE_SETTINGS_FOUND_PLACE_H

#include <stdint.h>

#include "fetch/geocoding_parser.h"

enum {
    FOUND_RECENT_MAX = 8,      // places found and chosen that the city list offers
    FOUND_MATCH_METRES = 10000 // a catalogue place this near, of the same name, is the one found
};

// A short list of kept places: the chosen one (count 0 or 1) or the recent
// ones, newest first.
struct FoundPlaceList {
    int32_t count;
    FoundPlace places[FOUND_RECENT_MAX];
};

// The catalogue's country entry of an ISO code (upper or lower case): the
// first position whose country is that code, or -1 when none is. An entry
// that is only a part of a country (the Hawaiian islands of US) is not its
// country's entry; the catalogue's Yugoslavia is that of RS, ME and XK.
int32_t catalogue_country_of_code(const char *country_code);

// The ISO code (upper case) of the catalogue's country entry at a position,
// its first when it has more; null outside the list.
const char *catalogue_country_code(int32_t country_position);

// The catalogue place a found one is: of the same country, within
// FOUND_MATCH_METRES, with the same name once case and the letters "ё" and
// "е" are set aside (place's name in code page 1251). 1 with its country
// and city positions (the country's first position), 0 when there is none.
int found_place_catalogue_match(const FoundPlace *place, int32_t *country_position, int32_t *city_position);

// Whether two kept places are the same one (name and coordinates).
int found_place_same(const FoundPlace *a, const FoundPlace *b);

// Puts place at the front of the recent list, taking out an earlier copy
// of it and the oldest beyond FOUND_RECENT_MAX.
void found_recent_add(FoundPlaceList *recent, const FoundPlace *place);

// The stored form (a REG_BINARY value): version byte 1, count byte, then per
// place latitude_e4, longitude_e4 and population as little-endian 32-bit
// integers, the two letters of the country code (zeros when none), and
// name, region and country as zero-terminated texts. At most
// FOUND_PLACES_STORED_MAX bytes.
enum { FOUND_PLACES_STORED_MAX = 2 + FOUND_RECENT_MAX * (12 + 2 + 3 * FOUND_TEXT_SIZE) };
// The bytes written (at most size), 0 when they do not fit.
uint32_t found_places_encode(const FoundPlaceList *list, uint8_t *bytes, uint32_t size);
// 1 and *list filled when the bytes are exactly a stored form whose every
// place is sound (a name, coordinates in range, texts that fit); 0 for
// anything else, *list then untouched.
int found_places_decode(const uint8_t *bytes, uint32_t size, FoundPlaceList *list);

#endif

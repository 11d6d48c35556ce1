// The open data's place search (Open-Meteo's geocoding API): the request
// for a name typed by the user, and the reader of its answer, a list of
// places with their coordinates.
#ifndef VELVANE_FETCH_GEOCODING_PARSER_H
#define VELVANE_FETCH_GEOCODING_PARSER_H

#include <stdint.h>

// Asked over HTTPS on port 443, like the forecast (same terms, same credit).
#define GEOCODING_HOST "geocoding-api.open-meteo.com"

enum {
    FOUND_PLACES_MAX = 10,  // places asked for and offered
    FOUND_TEXT_SIZE = 64    // room of each text, its terminator included
};

// One place of an answer. The reader gives the texts as the answer has them
// (UTF-8, cut at a character's boundary to fit); a place that is kept
// (settings/found_place.h) holds them in code page 1251, as every text of
// the settings. Coordinates in degrees times 10000, as the catalogue's.
struct FoundPlace {
    char name[FOUND_TEXT_SIZE];     // never empty
    char region[FOUND_TEXT_SIZE];   // the first-level area ("admin1"); empty when none
    char country[FOUND_TEXT_SIZE];  // empty when none
    char country_code[3];           // ISO 3166-1 two letters, upper case; empty when none
    int32_t latitude_e4;            // -900000..900000
    int32_t longitude_e4;           // -1800000..1800000
    int32_t population;             // -1 when unknown
};

// The request path (without its leading slash) for a query in UTF-8:
// "v1/search?name=QUERY&count=10&language=ru&format=json", the query
// percent-encoded byte by byte (unreserved characters as they are). A new
// text (util/mem.h), or null.
char *geocoding_path(const char *query_utf8);

// Reads an answer (a body alone, or a whole response of which only status
// 200 counts) into at most capacity places, in the answer's order. An entry
// without a name or without numeric coordinates in range is skipped. The
// count read (0 for an answer without "results": no such place), or -1 for
// an answer that cannot be read (not JSON, an error object, cut short); then
// places is untouched.
int32_t parse_found_places(const char *bytes, int32_t length, FoundPlace *places, int32_t capacity);

#endif

// What the tools print of places: coordinates as decimal degrees, and the
// catalogue place a found place is, as its location path.
#ifndef VELVANE_TOOLS_PLACE_TEXT_H
#define VELVANE_TOOLS_PLACE_TEXT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "fetch/geocoding_parser.h"

// Degrees times 10000 with four decimals and a point, whatever the locale:
// the sign and the two parts are printed as integers.
void print_degrees(FILE *out, int32_t value_e4);

// The location path ("country/region/city", as velvane-catalogue cities
// prints it) of the catalogue place a found place with a UTF-8 name is, as
// a new text (util/mem.h); null when it is none.
char *found_place_catalogue_path(const FoundPlace *place_utf8);

// A catalogue name (code page 1251: ASCII, the Cyrillic А..я block and
// Ё ё) in UTF-8, into out of size bytes (cut at a character to fit);
// another byte shows as '?'.
void catalogue_name_utf8(const char *text, char *out, size_t size);

#endif

// What the tools print of places: coordinates as decimal degrees, and the
// catalogue place a found place is, as its location path.
#ifndef VELVANE_TOOLS_PLACE_TEXT_H
#define VELVANE_TOOLS_PLACE_TEXT_H

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

#endif

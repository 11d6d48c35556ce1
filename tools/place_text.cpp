// What the tools print of places.
#include "tools/place_text.h"

#include <string.h>

#include "fetch/encoding.h"
#include "settings/catalogue.h"
#include "settings/found_place.h"
#include "util/mem.h"

void print_degrees(FILE *out, int32_t value_e4)
{
    long magnitude = value_e4 < 0 ? -(long)value_e4 : (long)value_e4;
    fprintf(out, "%s%ld.%04ld", value_e4 < 0 ? "-" : "", magnitude / CATALOGUE_COORDINATE_SCALE,
            magnitude % CATALOGUE_COORDINATE_SCALE);
}

char *found_place_catalogue_path(const FoundPlace *place_utf8)
{
    // The rule compares names in the program's code page, as the kept
    // place holds them; the native conversion gives Windows' bytes.
    FoundPlace kept = *place_utf8;
    char *name = utf8_to_cp1251(place_utf8->name);
    if (name == NULL)
        return NULL;
    size_t length = strlen(name);
    if (length >= sizeof kept.name)
        length = sizeof kept.name - 1;
    memcpy(kept.name, name, length);
    kept.name[length] = 0;
    mem_free(name);
    int32_t country, city;
    if (!found_place_catalogue_match(&kept, &country, &city))
        return NULL;
    return location_path_at(country, city);
}

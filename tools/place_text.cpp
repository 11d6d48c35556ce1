// What the tools print of places.
#include "tools/place_text.h"

#include <string.h>

#include "fetch/encoding.h"
#include "settings/catalogue.h"
#include "settings/found_place.h"
#include "util/format.h"
#include "util/mem.h"

void print_degrees(FILE *out, int32_t value_e4)
{
    char text[DEGREES_TEXT_SIZE];
    format_degrees_e4(value_e4, text);
    fputs(text, out);
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

void catalogue_name_utf8(const char *text, char *out, size_t size)
{
    size_t used = 0;
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
        size_t n = code < 0x80 ? 1 : 2;
        if (used + n >= size)
            break;
        if (n == 1) {
            out[used++] = (char)code;
        } else {
            out[used++] = (char)(0xC0u | (code >> 6));
            out[used++] = (char)(0x80u | (code & 0x3Fu));
        }
    }
    if (size > 0)
        out[used] = 0;
}

// The place search's reader over arbitrary bytes, each input in an
// exact-size heap block so that a read past its end is caught. The count
// is within 0..capacity or -1 with the places untouched; every place has a
// name, coordinates in range, texts terminated and valid UTF-8 to their
// cut, a country code of two capitals or none; and a body reads the same
// alone as inside a whole 200 response.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fetch/geocoding_parser.h"
#include "util/mem.h"

static const char HEAD[] = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n";

enum { MARK = 0x5A };

// Whole UTF-8 characters up to the terminator, within the room.
static void check_text(const char *room)
{
    const unsigned char *p = (const unsigned char *)room;
    const unsigned char *end = p + FOUND_TEXT_SIZE;
    while (p < end && *p != 0) {
        int follow = *p < 0x80 ? 0 : *p >= 0xC2 && *p <= 0xDF ? 1 : *p >= 0xE0 && *p <= 0xEF ? 2
                                   : *p >= 0xF0 && *p <= 0xF4 ? 3 : -1;
        if (follow < 0 || end - p <= follow)
            abort();
        for (int i = 1; i <= follow; i++) {
            if ((p[i] & 0xC0) != 0x80)
                abort();
        }
        p += 1 + follow;
    }
    if (p >= end)
        abort();
}

static void check_place(const FoundPlace *place)
{
    check_text(place->name);
    check_text(place->region);
    check_text(place->country);
    if (place->name[0] == 0 || place->latitude_e4 < -900000 || place->latitude_e4 > 900000 ||
        place->longitude_e4 < -1800000 || place->longitude_e4 > 1800000 || place->population < -1)
        abort();
    const char *code = place->country_code;
    if (code[0] != 0 && (code[0] < 'A' || code[0] > 'Z' || code[1] < 'A' || code[1] > 'Z' || code[2] != 0))
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0x7FFFFFFF - sizeof HEAD)
        return 0;
    char *body = (char *)mem_alloc((uint32_t)size);
    if (size > 0 && body == NULL)
        return 0;
    if (size > 0)
        memcpy(body, data, size);
    // The capacity varies with the input so that a short list is cut too.
    int32_t capacity = size > 0 ? data[size - 1] % (FOUND_PLACES_MAX + 1) : FOUND_PLACES_MAX;
    static FoundPlace alone[FOUND_PLACES_MAX + 1], wrapped[FOUND_PLACES_MAX + 1];
    memset(alone, MARK, sizeof alone);
    int32_t count = parse_found_places(body, (int32_t)size, alone, capacity);
    if (count < -1 || count > capacity)
        abort();
    for (int32_t i = 0; i < count; i++)
        check_place(&alone[i]);
    // Nothing written past the count read (none at all for -1).
    const uint8_t *rest = (const uint8_t *)&alone[count < 0 ? 0 : count];
    for (const uint8_t *p = rest; p < (const uint8_t *)(alone + FOUND_PLACES_MAX + 1); p++) {
        if (*p != MARK)
            abort();
    }

    if (size < 5 || memcmp(data, "HTTP/", 5) != 0) {
        uint32_t whole_size = (uint32_t)(sizeof HEAD - 1 + size);
        char *whole = (char *)mem_alloc(whole_size);
        if (whole != NULL) {
            memcpy(whole, HEAD, sizeof HEAD - 1);
            if (size > 0)
                memcpy(whole + sizeof HEAD - 1, data, size);
            memset(wrapped, MARK, sizeof wrapped);
            if (parse_found_places(whole, (int32_t)whole_size, wrapped, capacity) != count ||
                memcmp(alone, wrapped, sizeof alone) != 0)
                abort();
            mem_free(whole);
        }
    }
    mem_free(body);
    return 0;
}

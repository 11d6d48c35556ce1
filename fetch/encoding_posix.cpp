// The two conversions without the Windows code-page functions: a UTF-8
// decoder that treats broken sequences exactly as the Windows conversion does
// with flags 0, and the code page's own table (best-fit entries included).
#include "fetch/encoding.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "util/mem.h"

#include "fetch/cp1251_table.inc"

static const uint32_t INVALID = 0xFFFFFFFFu;

// Bytes that follow a lead byte from 0x80 up: 0 for a byte that starts no
// sequence (continuation bytes, 0xC0, 0xC1, 0xF5 and up).
static unsigned follow_count(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 1;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 2;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 3;
    return 0;
}

// Decodes the sequence whose lead byte was just taken; *at is the byte after
// it and end the end of the source. Consumes what belongs to the broken
// sequence: the continuation bytes read up to the first one that makes the
// sequence impossible (an overlong form, a surrogate, a value above U+10FFFF)
// are taken with it; the byte that does not continue it is not. A sequence
// that would run past the end of the source takes everything left.
static uint32_t decode_sequence(unsigned char lead, const unsigned char **at, const unsigned char *end)
{
    static const unsigned char LEAD_MASK[4] = {0x7F, 0x1F, 0x0F, 0x07};
    unsigned count = follow_count(lead);
    uint32_t value = lead & LEAD_MASK[count];
    const unsigned char *stop = *at + count;
    if (count == 0)
        return INVALID;
    if (stop > end) {
        *at = end;
        return INVALID;
    }
    unsigned c;
    if (count == 3) {
        if ((c = (unsigned)(stop[-3] ^ 0x80)) >= 0x40)
            return INVALID;
        value = (value << 6) | c;
        (*at)++;
        if (value < 0x10)
            return INVALID;  // overlong
    }
    if (count >= 2) {
        if ((c = (unsigned)(stop[-2] ^ 0x80)) >= 0x40)
            return INVALID;
        value = (value << 6) | c;
        if (value >= (0x110000 >> 6))
            return INVALID;  // beyond U+10FFFF
        (*at)++;
        if (value < 0x20)
            return INVALID;  // overlong
        if (value >= (0xD800 >> 6) && value <= (0xDFFF >> 6))
            return INVALID;  // a surrogate
    }
    if ((c = (unsigned)(stop[-1] ^ 0x80)) >= 0x40)
        return INVALID;
    value = (value << 6) | c;
    (*at)++;
    if (value < 0x80)
        return INVALID;  // overlong
    return value;
}

// Decodes the text with its terminator; writes into out when given. Gives
// the number of units, the terminator included when it was not swallowed by
// a sequence broken off at the end.
static size_t decode_utf8(const unsigned char *text, size_t length, Utf16Unit *out)
{
    const unsigned char *at = text;
    const unsigned char *end = text + length;
    size_t n = 0;
    while (at < end) {
        unsigned char lead = *at++;
        uint32_t value = lead;
        if (lead >= 0x80)
            value = decode_sequence(lead, &at, end);
        if (value == INVALID)
            value = 0xFFFD;
        if (value <= 0xFFFF) {
            if (out != NULL)
                out[n] = (Utf16Unit)value;
            n++;
        } else {
            value -= 0x10000;
            if (out != NULL) {
                out[n] = (Utf16Unit)(0xD800 | (value >> 10));
                out[n + 1] = (Utf16Unit)(0xDC00 | (value & 0x3FF));
            }
            n += 2;
        }
    }
    return n;
}

static unsigned char cp1251_byte(Utf16Unit unit)
{
    if (unit < 0x80)
        return (unsigned char)unit;
    size_t low = 0, high = sizeof CP1251_UNITS / sizeof CP1251_UNITS[0];
    while (low < high) {
        size_t middle = (low + high) / 2;
        if (CP1251_UNITS[middle] < unit)
            low = middle + 1;
        else
            high = middle;
    }
    if (low < sizeof CP1251_UNITS / sizeof CP1251_UNITS[0] && CP1251_UNITS[low] == unit)
        return CP1251_BYTES[low];
    return '?';
}

// One unit more than the text needs, cleared, so that the text is always
// terminated (a sequence broken off at the end swallows the terminator).
static void *cleared_block(size_t count, size_t unit_size)
{
    if (count == 0 || count >= UINT32_MAX / unit_size - 1)
        return NULL;
    uint32_t size = (uint32_t)((count + 1) * unit_size);
    void *block = mem_alloc(size);
    if (block != NULL)
        memset(block, 0, size);
    return block;
}

Utf16Unit *utf8_to_utf16(const char *text)
{
    if (text == NULL)
        return NULL;
    const unsigned char *bytes = (const unsigned char *)text;
    size_t length = strlen(text) + 1;
    size_t n = decode_utf8(bytes, length, NULL);
    if (n == 0) {
        fputs("Failed to obtain utf8 string length\n", stdout);
        return NULL;
    }
    Utf16Unit *wide = (Utf16Unit *)cleared_block(n, sizeof(Utf16Unit));
    if (wide == NULL) {
        fputs("Failed to allocate unicode string\n", stdout);
        return NULL;
    }
    decode_utf8(bytes, length, wide);
    return wide;
}

char *utf16_to_cp1251(const Utf16Unit *text)
{
    if (text == NULL)
        return NULL;
    size_t n = 0;
    while (text[n] != 0)
        n++;
    n++;  // the terminator
    char *narrow = (char *)cleared_block(n, 1);
    if (narrow == NULL) {
        fputs("Failed to allocate cp1251 string\n", stdout);
        return NULL;
    }
    for (size_t i = 0; i + 1 < n; i++)
        narrow[i] = (char)cp1251_byte(text[i]);
    return narrow;
}

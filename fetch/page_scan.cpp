// Marker search and number reading, both bounded by the buffer's length.
#include "fetch/page_scan.h"

#include <stddef.h>
#include <string.h>

#include "fetch/weather_record.h"
#include "util/mem.h"

// How often a byte turns up on the service's pages, roughly: markup and
// the lead bytes of Cyrillic letters (0xD0, 0xD1: every other byte of Russian
// text) most, then common lower-case letters, the second bytes of lower-case
// Cyrillic letters, digits and punctuation, and least capitals, Latin and
// Cyrillic.
static int byte_commonness(unsigned char c)
{
    if (c == 0xD0 || c == 0xD1)
        return 9;
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '<' || c == '>' || c == '/' || c == '"' ||
        c == '=')
        return 8;
    if (c >= 'a' && c <= 'z')
        return strchr("etaoinsrhldcu", c) != NULL ? 6 : 4;
    if ((c >= 0x80 && c <= 0x8F) || (c >= 0xB0 && c <= 0xBF))
        return 5;
    if ((c >= '0' && c <= '9') || strchr(".,;:-_()#&%!?'", c) != NULL)
        return 3;
    return 1;
}

int32_t find_marker(const char *buffer, int32_t length, const char *marker)
{
    if (buffer == NULL || marker == NULL || length <= 0)
        return -1;
    size_t m = strlen(marker);
    if ((size_t)length <= m)
        return -1;
    if (m == 0)
        return 0;
    // memchr runs at memory speed to each place where the marker's rarest
    // byte (its pivot) stands; only there is the whole marker compared.
    // Scanning for the first byte instead stops at every other byte of
    // Russian text when the marker is Cyrillic.
    size_t pivot = 0;
    for (size_t i = 1; i < m; i++) {
        if (byte_commonness((unsigned char)marker[i]) < byte_commonness((unsigned char)marker[pivot]))
            pivot = i;
    }
    // Start offsets 0 .. length - m - 1 are tried, so the pivot is looked
    // for at pivot .. length - m - 1 + pivot and every compare stays inside
    // the buffer.
    const char *at = buffer + pivot;
    const char *end = buffer + (length - (int32_t)m) + pivot;
    while (at < end) {
        const char *hit = (const char *)memchr(at, marker[pivot], (size_t)(end - at));
        if (hit == NULL)
            return -1;
        const char *start = hit - pivot;
        if (memcmp(start, marker, m) == 0)
            return (int32_t)(start - buffer);
        at = hit + 1;
    }
    return -1;
}

static int is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t read_page_number(const char *text, int32_t length)
{
    if (text == NULL || length <= 0)
        return 0;
    int32_t i = 0;
    while (i < length && is_blank(text[i]))
        i++;
    int negative = 0;
    if (i < length && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        i++;
    }
    // Accumulated as a magnitude up to one past INT32_MAX, so that the most
    // negative value is exact and nothing overflows.
    const int64_t limit = (int64_t)INT32_MAX + 1;
    int64_t value = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') {
        if (value < limit)
            value = value * 10 + (text[i] - '0');
        if (value > limit)
            value = limit;
        i++;
    }
    if (negative)
        return (int32_t)(-value);
    return value > INT32_MAX ? INT32_MAX : (int32_t)value;
}

int32_t cursor_find(const PageCursor *cursor, const char *marker)
{
    return find_marker(cursor->at, cursor->left, marker);
}

int cursor_skip_past(PageCursor *cursor, const char *marker)
{
    int32_t offset = cursor_find(cursor, marker);
    if (offset < 0)
        return 0;
    int32_t step = offset + (int32_t)strlen(marker);
    cursor->at += step;
    cursor->left -= step;
    return 1;
}

int32_t cursor_number(const PageCursor *cursor)
{
    return read_page_number(cursor->at, cursor->left);
}

int32_t cursor_cell_length(const PageCursor *cursor)
{
    return cursor_find(cursor, "</td>");
}

char *copy_cell_text(const char *text, int32_t n)
{
    if (n < 0)
        return NULL;
    char *block = (char *)mem_alloc((uint32_t)n + 1);
    if (block == NULL)
        return NULL;
    memcpy(block, text, (size_t)n);
    block[n] = 0;
    return block;
}

void copy_wind_direction(char *direction, const char *text, int32_t n)
{
    int32_t k = n < WIND_DIRECTION_MAX ? n : WIND_DIRECTION_MAX;
    if (k < 0)
        k = 0;
    memset(direction, 0, (size_t)k + 1);
    memcpy(direction, text, (size_t)k);
}
